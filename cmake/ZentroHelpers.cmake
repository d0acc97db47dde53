# Reads the Windows export list and writes the matching GNU version script, so the .def file is
# the single list of exported names.
function(zentro_version_script_from_def def_file map_file)
  file(STRINGS ${def_file} lines)
  set(names "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line MATCHES "^(Zentro_[A-Za-z0-9_]+)")
      string(APPEND names "    ${CMAKE_MATCH_1};\n")
    endif()
  endforeach()
  file(CONFIGURE OUTPUT ${map_file} CONTENT "{\n  global:\n${names}  local: *;\n};\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
endfunction()

# Hosts find the adb client in their own folder; on Linux the build links the installed one
# there (once per output folder).
function(zentro_link_adb_beside target)
  if(WIN32 OR TARGET zentro_adb_link)
    return()
  endif()
  find_program(ZENTRO_SYSTEM_ADB adb PATHS /usr/bin /usr/lib/android-sdk/platform-tools)
  if(ZENTRO_SYSTEM_ADB)
    add_custom_target(zentro_adb_link ALL
      COMMAND ${CMAKE_COMMAND} -E create_symlink ${ZENTRO_SYSTEM_ADB} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/adb
      COMMENT "Linking adb beside the hosts")
  endif()
endfunction()

# GoogleTest from Debian's source tree, built with the project's own flags for every target.
macro(zentro_enable_googletest)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  endif()
  include(GoogleTest)
endmacro()

# A GoogleTest program. Native builds list each test case in CTest; emulated builds (qemu,
# wine) register the whole program, so listing never starts the emulator at build time.
function(zentro_add_gtest target)
  cmake_parse_arguments(arg "" "FILTER" "SOURCES;LIBS;LABELS;RESOURCE_LOCK" ${ARGN})
  add_executable(${target} ${arg_SOURCES})
  target_link_libraries(${target} PRIVATE ${arg_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Logs of test runs go to the build folder, not the user's documents.
  set(props LABELS "${arg_LABELS}" ENVIRONMENT "XDG_DOCUMENTS_DIR=${CMAKE_BINARY_DIR}/test-documents")
  if(arg_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK "${arg_RESOURCE_LOCK}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    if(ZENTRO_TEST_PROPERTIES)
      # Windows runs take the wine settings instead (documents live in the wine prefix).
      set(props LABELS "${arg_LABELS}")
      if(arg_RESOURCE_LOCK)
        list(APPEND props RESOURCE_LOCK "${arg_RESOURCE_LOCK}")
      endif()
    endif()
    set_tests_properties(${target} PROPERTIES ${props} ${ZENTRO_TEST_PROPERTIES})
  else()
    set(filter)
    if(arg_FILTER)
      set(filter TEST_FILTER ${arg_FILTER})
    endif()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 ${filter} PROPERTIES ${props})
  endif()
endfunction()
