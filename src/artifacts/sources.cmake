target_sources(kalo_artifacts_objects PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/artifacts_setting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/artifacts_math.cpp
  ${CMAKE_CURRENT_LIST_DIR}/artifacts.cpp)
