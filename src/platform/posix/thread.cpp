// Threads on POSIX: a shared object stays mapped until dlclose, and the library never asks for
// that while its threads run, so a plain thread suffices.
#include <new>
#include <thread>

#include "platform/thread.h"

namespace zentro::platform {

bool runHoldingLibrary(void (*body)(void*), void* context, Thread* joinable) {
    if (body == nullptr) return false;
    try {
        if (joinable == nullptr) {
            std::thread(body, context).detach();
            return true;
        }
        auto* thread = new std::thread(body, context);
        joinable->handle = reinterpret_cast<intptr_t>(thread);
        return true;
    } catch (...) {
        return false;
    }
}

void joinThread(Thread& thread) {
    auto* running = reinterpret_cast<std::thread*>(thread.handle);
    thread.handle = 0;
    if (running == nullptr) return;
    if (running->joinable()) running->join();
    delete running;
}

} // namespace zentro::platform
