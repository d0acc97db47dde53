#include "interrupt.h"

#include <csignal>

namespace zentro::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int) { g_interrupted = 1; }

} // namespace

void watchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0; }

void forgetInterrupt() { g_interrupted = 0; }

} // namespace zentro::cli
