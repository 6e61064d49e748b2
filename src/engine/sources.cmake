target_sources(kalo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/kalo_math.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sample_intake.cpp
  ${CMAKE_CURRENT_LIST_DIR}/peak_correction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_spectra.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calibration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mental_levels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_readers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common_api.cpp)
