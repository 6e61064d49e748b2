target_sources(kalo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/kalo_types.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kalo_setting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status.cpp
  ${CMAKE_CURRENT_LIST_DIR}/global_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fft.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectral_window.cpp)
