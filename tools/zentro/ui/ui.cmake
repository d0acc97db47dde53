# zentro ui: the browser host, a module of its own (zentro-ui.so) that the CLI loads only for
# this command, so no other command pays for the HTTP and TLS libraries at start. The module
# takes the CLI's functions from the executable, which exports them. The page's files are
# compiled into the module (no build step for the page, nothing read from disk while serving).
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(REMOVE_ITEM ui_sources ${CMAKE_CURRENT_LIST_DIR}/ui_loader.cpp)
file(GLOB ui_web_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/web/*)
set(ui_assets ${CMAKE_CURRENT_BINARY_DIR}/ui_assets.cpp)
add_custom_command(OUTPUT ${ui_assets}
                   COMMAND ${CMAKE_COMMAND} -DWEB_DIR=${CMAKE_CURRENT_LIST_DIR}/web -DOUT=${ui_assets}
                           -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
                   DEPENDS ${ui_web_files} ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
                   COMMENT "Embedding the zentro ui page")
add_library(zentro_ui MODULE ${ui_sources} ${ui_assets})
set_target_properties(zentro_ui PROPERTIES PREFIX "" OUTPUT_NAME zentro-ui)
target_link_libraries(zentro_ui PRIVATE zentrolink nlohmann_json::nlohmann_json PkgConfig::HTTPLIB
                                        OpenSSL::Crypto Threads::Threads)
target_include_directories(zentro_ui PRIVATE ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(zentro_ui PRIVATE ZENTRO_VERSION="${PROJECT_VERSION}")
add_dependencies(zentro zentro_ui)

# The CLI looks beside itself first (a build folder), then in the private library folder where
# cmake/Packaging.cmake installs the module.
include(GNUInstallDirs)
file(RELATIVE_PATH module_dir_from_bin /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR}/zentro)
target_sources(zentro PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ui_loader.cpp)
target_compile_definitions(zentro PRIVATE ZENTRO_MODULE_DIR="${module_dir_from_bin}")
# The module's calls into the CLI bind to the executable's symbols: those of the CLI's own code
# (and its formats library) are exported; inline functions stay hidden, the module has its own.
set_target_properties(zentro PROPERTIES ENABLE_EXPORTS ON CXX_VISIBILITY_PRESET default)
set_target_properties(zentro_formats PROPERTIES CXX_VISIBILITY_PRESET default)
target_link_libraries(zentro PRIVATE ${CMAKE_DL_LIBS})
