# Compares the dynamic symbols the built library defines with the reviewed
# list, so an accidental export or a lost one fails the build's tests.
# Usage: cmake -DNM=<nm> -DLIBRARY=<.so> -DEXPECTED=<list> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE nm_output RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" nm_lines "${nm_output}")
set(actual "")
foreach(line IN LISTS nm_lines)
  if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
    list(APPEND actual "${CMAKE_MATCH_1}")
  endif()
endforeach()
file(STRINGS ${EXPECTED} expected REGEX "^[^#].*")
list(SORT actual)
list(SORT expected)
set(unexpected ${actual})
list(REMOVE_ITEM unexpected ${expected})
set(missing ${expected})
list(REMOVE_ITEM missing ${actual})
if(unexpected OR missing)
  message(FATAL_ERROR "Exported symbols differ from ${EXPECTED}\n"
    "  exported but not listed: ${unexpected}\n"
    "  listed but not exported: ${missing}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported symbols, as listed")
