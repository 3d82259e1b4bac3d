# Installation: the programs, the libraries with their headers and a CMake package for host
# programs, the desktop entry, icon and metainfo; and the Debian package made from all of that. A Windows
# build packs its Qt-free part into a zip instead.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(PYTAGORAS_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/pytagoras)
set(PYTAGORAS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Pytagoras)

set(_pytagoras_libraries)
foreach(lib support ftp transfercore triangle transfer)
    if(TARGET ${lib})
        list(APPEND _pytagoras_libraries ${lib})
        # Plain names such as libftp.a would clash in /usr/lib; host programs use Pytagoras::ftp.
        set_target_properties(${lib} PROPERTIES OUTPUT_NAME pytagoras-${lib} EXPORT_NAME ${lib})
        # The library's own headers, wherever its folder: the face's transfer window shares its folder with
        # the face's other windows, which host programs do not get.
        get_target_property(_sources ${lib} SOURCES)
        get_target_property(_source_dir ${lib} SOURCE_DIR)
        set(_headers)
        foreach(_source ${_sources})
            if(_source MATCHES "\\.h$")
                cmake_path(ABSOLUTE_PATH _source BASE_DIRECTORY ${_source_dir})
                list(APPEND _headers ${_source})
            endif()
        endforeach()
        install(FILES ${_headers} DESTINATION ${PYTAGORAS_INCLUDE_DIR} COMPONENT development)
        target_include_directories(${lib} INTERFACE $<INSTALL_INTERFACE:${PYTAGORAS_INCLUDE_DIR}>)
    endif()
endforeach()

install(TARGETS ${_pytagoras_libraries}
    EXPORT PytagorasTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(EXPORT PytagorasTargets
    NAMESPACE Pytagoras::
    DESTINATION ${PYTAGORAS_CMAKE_DIR}
    COMPONENT development)
configure_package_config_file(cmake/PytagorasConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/PytagorasConfig.cmake
    INSTALL_DESTINATION ${PYTAGORAS_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/PytagorasConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/PytagorasConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/PytagorasConfigVersion.cmake
    DESTINATION ${PYTAGORAS_CMAKE_DIR}
    COMPONENT development)

set(CPACK_PACKAGE_NAME pytagoras)
set(CPACK_PACKAGE_VENDOR Solvemar)
set(CPACK_PACKAGE_CONTACT "Solvemar <post@solvemar.no>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Teaching tool for right-angled triangles (Norwegian)")

if(WIN32)
    # Two packages on Windows (CPackOptions.cmake.in picks each one's parts):
    # - a zip for host programs: solvemar-ftp.exe, the static libraries (the Win32 transfer window among them),
    #   their headers and the CMake package, with the toolchain file that cross-builds against them. Unpacked,
    #   its one folder is the prefix to give find_package (CMAKE_PREFIX_PATH);
    # - an installer for users (cpack -G NSIS): pytagoras.exe and solvemar-ftp.exe under Program Files, a
    #   Start-menu entry "Pytagoras", an uninstaller and its entry in the list of installed programs.
    install(FILES cmake/mingw-w64.cmake DESTINATION ${PYTAGORAS_CMAKE_DIR} COMPONENT development)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME pytagoras-${PROJECT_VERSION}-windows-x86_64)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY Pytagoras) # also the name of the uninstall entry
    set(CPACK_NSIS_PACKAGE_NAME Pytagoras)
    set(CPACK_NSIS_DISPLAY_NAME Pytagoras)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    # 64-bit: a 32-bit installer would put the programs among the 32-bit ones (and wine64 does not run it).
    set(CPACK_NSIS_DEFINES "Target amd64-unicode")
    set(CPACK_PACKAGE_EXECUTABLES pytagoras Pytagoras)
    set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/pytagoras.ico)
    set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/packaging/pytagoras.ico)
    set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\pytagoras.exe")
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    configure_file(cmake/CPackOptions.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/CPackOptions.cmake @ONLY)
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackOptions.cmake)
    include(CPack)
    return()
endif()

install(FILES packaging/no.solvemar.pytagoras.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/pytagoras.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME no.solvemar.pytagoras.svg)
install(FILES packaging/no.solvemar.pytagoras.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian package: one package with the programs and what host programs build against.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DESCRIPTION
    "Pytagoras draws a right triangle with the squares on its sides and works Pythagoras' relation\n"
    "through with the values the user enters. The package also holds the solvemar-ftp host program\n"
    "and the support library, FTP client and transfer window for host programs (CMake package).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform plugins are loaded at run time, so the library scan cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Host programs that link the support library and the FTP client statically need the development files
# of ICU and OpenSSL as well.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-base-dev, libicu-dev, libssl-dev, cmake")
include(CPack)
