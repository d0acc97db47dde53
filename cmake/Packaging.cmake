# Install rules and packages for host developers: a zip for Windows (the DLL, two import
# libraries, header, export list) and a .deb for Linux (the versioned library, header, CMake and
# pkg-config files, the CLI, its ui module and its man page). scripts/release builds both.
include(GNUInstallDirs)

if(NOT TARGET zentrolink OR ZENTRO_THREADED_TESTS_ONLY)
  return()
endif()

set(ZENTRO_SOVERSION 1)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Library and command-line host for managing Android phone contents over adb")
install(FILES ${PROJECT_SOURCE_DIR}/include/zentrolink.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(WIN32)
  # The DLL and MinGW's import library (libzentrolink.dll.a) come from the link itself; MSVC
  # links zentrolink.lib, an import library made from the export list.
  install(TARGETS zentrolink RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
  find_program(ZENTRO_DLLTOOL NAMES ${CMAKE_DLLTOOL} i686-w64-mingw32-dlltool REQUIRED)
  set(msvc_import_lib ${CMAKE_BINARY_DIR}/lib/zentrolink.lib)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(dlltool_machine i386)
  else()
    set(dlltool_machine i386:x86-64)
  endif()
  add_custom_command(OUTPUT ${msvc_import_lib}
    COMMAND ${ZENTRO_DLLTOOL} -m ${dlltool_machine} -d ${PROJECT_SOURCE_DIR}/src/api/zentrolink.def
            -D zentrolink.dll -l ${msvc_import_lib}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/api/zentrolink.def
    COMMENT "Making the import library zentrolink.lib from zentrolink.def")
  add_custom_target(zentro_msvc_import_lib ALL DEPENDS ${msvc_import_lib})
  install(FILES ${msvc_import_lib} ${PROJECT_SOURCE_DIR}/src/api/zentrolink.def DESTINATION lib)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set_target_properties(zentrolink PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${ZENTRO_SOVERSION})
  install(TARGETS zentrolink EXPORT zentrolinkTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/zentrolink)
  install(EXPORT zentrolinkTargets NAMESPACE zentrolink:: DESTINATION ${config_dir})
  include(CMakePackageConfigHelpers)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zentrolinkConfig.cmake.in
    ${CMAKE_BINARY_DIR}/package/zentrolinkConfig.cmake INSTALL_DESTINATION ${config_dir})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/zentrolinkConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/package/zentrolinkConfig.cmake
          ${CMAKE_BINARY_DIR}/package/zentrolinkConfigVersion.cmake DESTINATION ${config_dir})
  # The .pc file finds the prefix from its own place, so an unpacked tree works as installed.
  file(RELATIVE_PATH pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/zentrolink.pc.in ${CMAKE_BINARY_DIR}/package/zentrolink.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/zentrolink.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  if(TARGET zentro)
    install(TARGETS zentro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # zentro ui's module, in the folder the CLI looks in (tools/zentro/ui/ui.cmake).
    install(TARGETS zentro_ui LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zentro)
    set(man_page ${CMAKE_BINARY_DIR}/package/zentro.1)
    add_custom_command(OUTPUT ${man_page}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:zentro> -DVERSION=${PROJECT_VERSION}
              -DOUTPUT=${man_page} -P ${PROJECT_SOURCE_DIR}/cmake/man-from-help.cmake
      DEPENDS zentro ${PROJECT_SOURCE_DIR}/cmake/man-from-help.cmake
      COMMENT "Writing the zentro man page from its --help-all")
    add_custom_target(zentro_man_page ALL DEPENDS ${man_page})
    install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The CLI runs the adb client from its own folder, which is /usr/bin/adb once installed; it
  # opens libical and libcrypto only when a command needs them, which shlibdeps cannot see.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "adb, libical3, libssl3")
endif()

set(CPACK_PACKAGE_NAME zentrolink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "zentrolink developers")
# The build keeps its debugging information; the packages do not.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/release)
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
include(CPack)
