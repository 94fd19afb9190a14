# Compares the defined dynamic symbols of a shared library with a list.
# Usage: cmake -DNM=nm -DLIBRARY=libx.so -DEXPECTED=list.txt [-DIGNORE=regex] -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE nm_out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()

string(REPLACE "\n" ";" lines "${nm_out}")
set(actual "")
foreach(line IN LISTS lines)
    # "<address> <type> <name>"; versioned names keep their @VERSION suffix.
    if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
        set(name "${CMAKE_MATCH_1}")
        if(IGNORE STREQUAL "" OR NOT name MATCHES "${IGNORE}")
            list(APPEND actual "${name}")
        endif()
    endif()
endforeach()
list(SORT actual)

file(STRINGS ${EXPECTED} expected REGEX "^[^#]")
list(SORT expected)

if(NOT actual STREQUAL expected)
    set(missing ${expected})
    list(REMOVE_ITEM missing ${actual})
    set(extra ${actual})
    list(REMOVE_ITEM extra ${expected})
    message(FATAL_ERROR "exported symbols differ\n  missing: ${missing}\n  unexpected: ${extra}")
endif()
list(LENGTH actual n)
message(STATUS "${n} exported symbols as expected")
