# The library is built in layers, one static library per folder (the cipher
# and the login have a second one for their Java natives). A layer sees the
# headers of its own folder and of the layers it uses, and nothing else: each
# folder is reached through an include root of its own, a directory in the
# build tree holding one link to that folder, and a layer gets the roots of
# exactly the layers it links. An include of another folder's header then
# fails to compile instead of quietly climbing the wrong way.
#
# The layers are compiled once, position independent and with hidden
# visibility: libsecnative.so is made of their objects and exports what the
# sources mark SECNATIVE_API; the tool, the tests, the fuzz targets and the
# benchmarks link the layers they need and can reach internal functions too.

# secnative_layer(<name> SOURCES <source>... [USES <layer>...])
#
# Defines the static library secnative_<name> from sources in the current
# folder, publishing that folder's headers as "<folder>/<header>.h", and
# links the layers it uses (by their short names) publicly.
function(secnative_layer name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;USES")
    set(target secnative_${name})
    add_library(${target} STATIC ${arg_SOURCES})
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET hidden
        C_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    secnative_warnings(${target})

    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    set(root ${PROJECT_BINARY_DIR}/layers/${folder})
    if(NOT EXISTS ${root}/${folder})
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)

    foreach(use IN LISTS arg_USES)
        target_link_libraries(${target} PUBLIC secnative_${use})
    endforeach()
    set_property(GLOBAL APPEND PROPERTY SECNATIVE_LAYERS ${target})
endfunction()
