# What `cmake --install` puts in place, and the Debian package CPack makes of
# it: the tool; where a JDK was found, the shared library, its public headers
# under include/secnative, a CMake package (find_package(secnative) gives
# secnative::secnative), a pkg-config file and the jar.
include(CMakePackageConfigHelpers)

install(TARGETS secnative_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET secnative)
    install(TARGETS secnative EXPORT secnativeTargets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

    # The headers of the exported interface, in their source directories so
    # that their own includes ("common/export.h") resolve.
    set(secnative_public_headers
        common/export.h crypto/sha1.h crypto/aes_rj.h cipher/create_key.h login/hex_codec.h
        login/password.h login/random_string.h xml/xml_parser.h)
    foreach(header IN LISTS secnative_public_headers)
        get_filename_component(directory ${header} DIRECTORY)
        install(FILES ${PROJECT_SOURCE_DIR}/${header}
                DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/secnative/${directory})
    endforeach()

    set(secnative_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/secnative)
    install(EXPORT secnativeTargets NAMESPACE secnative:: DESTINATION ${secnative_cmake_dir})
    configure_package_config_file(cmake/secnativeConfig.cmake.in
        ${PROJECT_BINARY_DIR}/secnativeConfig.cmake INSTALL_DESTINATION ${secnative_cmake_dir})
    write_basic_package_version_file(${PROJECT_BINARY_DIR}/secnativeConfigVersion.cmake
        COMPATIBILITY SameMajorVersion)
    install(FILES ${PROJECT_BINARY_DIR}/secnativeConfig.cmake
                  ${PROJECT_BINARY_DIR}/secnativeConfigVersion.cmake
            DESTINATION ${secnative_cmake_dir})

    # The pkg-config file finds the prefix from its own place, so the tree
    # can be installed under any prefix.
    file(RELATIVE_PATH SECNATIVE_PC_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
    string(REGEX REPLACE "/$" "" SECNATIVE_PC_PREFIX "${SECNATIVE_PC_PREFIX}")
    configure_file(cmake/secnative.pc.in ${PROJECT_BINARY_DIR}/secnative.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/secnative.pc
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

set(CPACK_PACKAGE_NAME secnative)
set(CPACK_PACKAGE_VENDOR "Ardex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "secnative maintainers <secnative@ardex.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The library and the tool need only the C library, the C++ runtime and libm.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
include(CPack)
