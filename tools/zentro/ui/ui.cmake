# zentro ui: the browser host. The page's files are compiled into the binary (no build step
# for the page, nothing read from disk while serving).
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
file(GLOB ui_web_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/web/*)
set(ui_assets ${CMAKE_CURRENT_BINARY_DIR}/ui_assets.cpp)
add_custom_command(OUTPUT ${ui_assets}
                   COMMAND ${CMAKE_COMMAND} -DWEB_DIR=${CMAKE_CURRENT_LIST_DIR}/web -DOUT=${ui_assets}
                           -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
                   DEPENDS ${ui_web_files} ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
                   COMMENT "Embedding the zentro ui page")
target_sources(zentro PRIVATE ${ui_sources} ${ui_assets})
target_link_libraries(zentro PRIVATE PkgConfig::HTTPLIB)
