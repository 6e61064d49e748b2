target_sources(kalo_filters_objects PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/filter_cascade.cpp
  ${CMAKE_CURRENT_LIST_DIR}/iir_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coefficient_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/t_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/t_filter_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filters_main.cpp)

# The preinstalled filter catalogue and the resource store that carries it.
# Only *.dat files are catalogue entries; the glob is re-checked at every
# build, so adding or removing a file regenerates the registration.
target_sources(kalo_filters_objects PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/embedded_filesystem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/preinstalled.cpp
  ${CMAKE_CURRENT_LIST_DIR}/t_filter_by_param.cpp)

include(${PROJECT_SOURCE_DIR}/cmake/embed_resources.cmake)
file(GLOB KALO_PREINSTALLED_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/preinstalled/resources/*.dat)
if(NOT KALO_PREINSTALLED_FILES)
  message(WARNING "No preinstalled/resources/*.dat found: the filter catalogue will be empty")
endif()
kalo_embed_resources(kalo_filters_objects
  BASE_DIR ${PROJECT_SOURCE_DIR}
  FILES ${KALO_PREINSTALLED_FILES}
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/filters/lib.cpp)
