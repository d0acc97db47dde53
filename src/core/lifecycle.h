// Start-up and shut-down behind Zentro_Init and Zentro_UnInit.
#pragma once

namespace zentro::core {

constexpr const char* kCompanionPackage = "com.vantrey.pocketdesk";

int initLibrary();
int uninitLibrary();

} // namespace zentro::core
