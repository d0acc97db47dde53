// Start-up and shut-down behind Zentro_Init and Zentro_UnInit.
#pragma once

namespace zentro::api {

int initLibrary();
int uninitLibrary();

} // namespace zentro::api
