target_sources(kalo_engine_objects PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/window_schedule.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filter_chain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/peak_correction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sample_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bipolar_samples.cpp
  ${CMAKE_CURRENT_LIST_DIR}/channel_samples.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_detectors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_policy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectral_step.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectral_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calibration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mental_estimator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kalo_math.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kalo_setting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/global_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common_api.cpp)
