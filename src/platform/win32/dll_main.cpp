// Process attach of zentrolink.dll: the runtime locale follows the system's default ANSI code
// page. Nothing else happens at attach or detach.
#include <windows.h>

#include <clocale>
#include <cstdio>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char locale[16];
        std::snprintf(locale, sizeof locale, ".%u", GetACP());
        std::setlocale(LC_ALL, locale);
    }
    return TRUE;
}
