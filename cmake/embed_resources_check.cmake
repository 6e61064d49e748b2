# Checks the embedding build step end to end, in a small project of its own:
# the stored bytes equal the files' bytes and are followed by a zero byte, an
# edited file is picked up by the next build, and so is an added file.
#
#   cmake -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch dir>
#         -DGENERATOR=<generator> -DCXX=<c++ compiler> -P embed_resources_check.cmake

foreach(required SOURCE_DIR WORK_DIR GENERATOR CXX)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_resources_check.cmake: -D${required}=... is required")
  endif()
endforeach()

set(project_dir "${WORK_DIR}/project")
set(build_dir "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${project_dir}/data/sub")

file(WRITE "${project_dir}/CMakeLists.txt" "
cmake_minimum_required(VERSION 3.25)
project(embed_check LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
include(\"${SOURCE_DIR}/cmake/embed_resources.cmake\")
add_executable(probe probe.cpp \"${SOURCE_DIR}/src/filters/embedded_filesystem.cpp\")
target_include_directories(probe PRIVATE \"${SOURCE_DIR}/src\")
file(GLOB_RECURSE files CONFIGURE_DEPENDS \"\${CMAKE_CURRENT_SOURCE_DIR}/data/*\")
kalo_embed_resources(probe BASE_DIR \"\${CMAKE_CURRENT_SOURCE_DIR}\" FILES \${files}
  OUTPUT \"\${CMAKE_CURRENT_BINARY_DIR}/lib.cpp\")
")

# Lists every file below data/ with its size, bytes and the byte after them.
file(WRITE "${project_dir}/probe.cpp" [=[
#include <cstdio>
#include <string>
#include "filters/embedded_filesystem.h"

using namespace Filters::Resources;

static void list(const embedded_filesystem& fs, const std::string& path) {
    for (const auto& entry : fs.iterate_directory(path)) {
        const std::string child = path + "/" + entry.name();
        if (entry.is_directory()) {
            list(fs, child);
            continue;
        }
        const auto f = fs.open(child);
        std::printf("%s %zu", child.c_str(), f.size());
        for (char c : f)
            std::printf(" %02x", static_cast<unsigned char>(c));
        std::printf(" | %02x\n", static_cast<unsigned char>(*f.end()));
    }
}

int main() { list(get_filesystem(), "data"); }
]=])

# What the probe must print for the files now on disk.
function(expected_listing out_var)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${project_dir}" "${project_dir}/data/*")
  list(SORT files)
  set(text "")
  foreach(name IN LISTS files)
    file(READ "${project_dir}/${name}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" " \\1" bytes "${hex}")
    string(APPEND text "${name} ${size}${bytes} | 00\n")
  endforeach()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

function(build_and_compare step)
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${build_dir}"
    RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(failed)
    message(FATAL_ERROR "${step}: build failed\n${log}")
  endif()
  execute_process(COMMAND "${build_dir}/probe" RESULT_VARIABLE failed OUTPUT_VARIABLE listing)
  expected_listing(expected)
  if(failed OR NOT listing STREQUAL expected)
    message(FATAL_ERROR "${step}: the store does not hold the files\nexpected:\n${expected}\nstored:\n${listing}")
  endif()
  message(STATUS "${step}: ok")
endfunction()

string(ASCII 1 9 127 128 200 255 high_bytes)
file(WRITE "${project_dir}/data/a.txt" "first line\r\nsecond\n")
file(WRITE "${project_dir}/data/sub/b.bin" "${high_bytes}")
file(WRITE "${project_dir}/data/empty" "")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${project_dir}" -B "${build_dir}" -G "${GENERATOR}"
  "-DCMAKE_CXX_COMPILER=${CXX}" RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(failed)
  message(FATAL_ERROR "configure failed\n${log}")
endif()
build_and_compare("first build")

file(WRITE "${project_dir}/data/sub/b.bin" "changed contents, longer than before")
build_and_compare("after editing a file")

file(WRITE "${project_dir}/data/c.txt" "added")
build_and_compare("after adding a file")
