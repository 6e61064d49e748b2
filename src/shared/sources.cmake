target_sources(kalo_shared_objects PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/kalo_types.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fft.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fft_portable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fft_avx2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fft_avx512.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectral_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectral_geometry.cpp)

# The transform's wider kernels: only these two files are compiled for an
# instruction set beyond the baseline, and FftPlan calls them only when the
# processor reports it (see fft.cpp). Never -march=native, never -mfma: the
# library must run anywhere, and its arithmetic must stay unfused. On other
# architectures the files compile to nothing.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86)$")
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/fft_avx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2")
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/fft_avx512.cpp PROPERTIES COMPILE_OPTIONS "-mavx512f")
endif()
