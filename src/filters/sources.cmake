target_sources(kalo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/filter_cascade.cpp
  ${CMAKE_CURRENT_LIST_DIR}/iir_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coefficient_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/t_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/t_filter_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filters_main.cpp)
