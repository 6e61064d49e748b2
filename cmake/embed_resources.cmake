# Compiles resource files into a target, for the embedded resource store
# (src/filters/embedded_filesystem.h). Uses nothing but CMake and the C++
# compiler, so a fresh machine needs no extra tool to build the library.
#
#   kalo_embed_resources(<target>
#     BASE_DIR <dir>      store paths are the files' paths relative to <dir>
#     FILES <file>...     the resource files, all below <dir>
#     OUTPUT <lib.cpp>)   where to write the generated registration
#
# Each file becomes its own generated source holding one constant byte array
# (the file's bytes followed by one zero byte) and its size. The array sources
# are written at build time by embed_file.cmake, with the resource file as a
# dependency, so editing a resource rebuilds exactly its array. The
# registration (<lib.cpp>, from embedded_lib.cpp.in) is written at configure
# time: it only changes when the set of files changes, and callers that
# collect FILES with file(GLOB ... CONFIGURE_DEPENDS) get a new configure run
# when a file is added or removed.

set(KALO_EMBED_DIR "${CMAKE_CURRENT_LIST_DIR}")

# A C++ string literal holding `text`.
function(_kalo_embed_literal text out_var)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(kalo_embed_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 EMBED "" "BASE_DIR;OUTPUT" "FILES")
  if(NOT EMBED_BASE_DIR OR NOT EMBED_OUTPUT)
    message(FATAL_ERROR "kalo_embed_resources: BASE_DIR and OUTPUT are required")
  endif()
  get_filename_component(base "${EMBED_BASE_DIR}" ABSOLUTE)
  get_filename_component(output_dir "${EMBED_OUTPUT}" DIRECTORY)
  set(array_dir "${output_dir}/embedded")

  # Sorted so the generated code does not depend on the order of the caller's
  # list (or of the file system's directory listing).
  set(files ${EMBED_FILES})
  list(SORT files)

  set(declarations "")
  set(registrations "")
  set(directories "")
  set(symbols "")
  foreach(resource IN LISTS files)
    get_filename_component(resource "${resource}" ABSOLUTE)
    file(RELATIVE_PATH path "${base}" "${resource}")
    if(path MATCHES "^\\.\\./" OR IS_ABSOLUTE "${path}")
      message(FATAL_ERROR "kalo_embed_resources: ${resource} is not below ${base}")
    endif()
    if(path MATCHES "[\n\r]")
      message(FATAL_ERROR "kalo_embed_resources: line break in the file name ${resource}")
    endif()

    # Every directory on the way, outermost first, registered once.
    string(REPLACE "/" ";" names "${path}")
    list(POP_BACK names)
    set(prefix "")
    foreach(name IN LISTS names)
      if(prefix STREQUAL "")
        set(prefix "${name}")
      else()
        set(prefix "${prefix}/${name}")
      endif()
      if(NOT prefix IN_LIST directories)
        list(APPEND directories "${prefix}")
        _kalo_embed_literal("${prefix}" literal)
        string(APPEND registrations "    store.add_directory(${literal});\n")
      endif()
    endforeach()

    string(MAKE_C_IDENTIFIER "resource_${path}" symbol)
    if(symbol IN_LIST symbols)
      message(FATAL_ERROR "kalo_embed_resources: two files map to the array name ${symbol}; rename one of them")
    endif()
    list(APPEND symbols "${symbol}")

    set(array_source "${array_dir}/${symbol}.cpp")
    add_custom_command(
      OUTPUT "${array_source}"
      COMMAND "${CMAKE_COMMAND}" "-DINPUT=${resource}" "-DOUTPUT=${array_source}"
              "-DSYMBOL=${symbol}" "-DSTORE_PATH=${path}"
              -P "${KALO_EMBED_DIR}/embed_file.cmake"
      DEPENDS "${resource}" "${KALO_EMBED_DIR}/embed_file.cmake"
      COMMENT "Embedding ${path}"
      VERBATIM)
    target_sources(${target} PRIVATE "${array_source}")

    string(APPEND declarations
      "extern const unsigned char ${symbol}[];\nextern const std::size_t ${symbol}_size;\n")
    _kalo_embed_literal("${path}" literal)
    string(APPEND registrations "    store.add_file(${literal}, Data::${symbol}, Data::${symbol}_size);\n")
  endforeach()

  set(KALO_EMBED_DECLARATIONS "${declarations}")
  set(KALO_EMBED_REGISTRATIONS "${registrations}")
  configure_file("${KALO_EMBED_DIR}/embedded_lib.cpp.in" "${EMBED_OUTPUT}" @ONLY)
  target_sources(${target} PRIVATE "${EMBED_OUTPUT}")
endfunction()
