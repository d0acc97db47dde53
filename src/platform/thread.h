// Threads of the library that may outlive the host's hold on it.
#pragma once

#include <cstdint>

namespace zentro::platform {

// A thread started by runHoldingLibrary; 0 means none (or already joined).
struct Thread {
    intptr_t handle = 0;
};

// Runs `body(context)` on a new thread that keeps the library's code mapped while it runs: on
// Windows it takes a reference to the module holding this code before it starts and gives it
// back as it ends (FreeLibraryAndExitThread), so a host that calls FreeLibrary while the thread
// lives does not unmap the code under it. With `joinable` null the thread is detached; else it
// is stored there for joinThread. False when no thread could be started.
bool runHoldingLibrary(void (*body)(void*), void* context, Thread* joinable);

// Waits for a joinable thread to end and gives its handle up.
void joinThread(Thread& thread);

} // namespace zentro::platform
