// Threads on Windows that outlive a host's FreeLibrary: each holds a reference to the module
// its code lives in and drops it with FreeLibraryAndExitThread, the one call that may release
// the last reference from inside the module.
#include <windows.h>

#include <new>

#include "platform/thread.h"

namespace zentro::platform {
namespace {

struct Start {
    void (*body)(void*);
    void* context;
    HMODULE module;
};

DWORD WINAPI threadMain(LPVOID parameter) {
    const Start start = *static_cast<Start*>(parameter);
    delete static_cast<Start*>(parameter);
    start.body(start.context);
    if (start.module != nullptr) FreeLibraryAndExitThread(start.module, 0);
    return 0;
}

} // namespace

bool runHoldingLibrary(void (*body)(void*), void* context, Thread* joinable) {
    if (body == nullptr) return false;
    // Taken here, not in the new thread: the host may unload us before that thread first runs.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&threadMain),
                            &module)) {
        return false;
    }
    auto* start = new (std::nothrow) Start{body, context, module};
    if (start == nullptr) {
        FreeLibrary(module);
        return false;
    }
    HANDLE thread = CreateThread(nullptr, 0, threadMain, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        FreeLibrary(module);
        return false;
    }
    if (joinable != nullptr) {
        joinable->handle = reinterpret_cast<intptr_t>(thread);
    } else {
        CloseHandle(thread);
    }
    return true;
}

void joinThread(Thread& thread) {
    HANDLE handle = reinterpret_cast<HANDLE>(thread.handle);
    thread.handle = 0;
    if (handle == nullptr) return;
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

} // namespace zentro::platform
