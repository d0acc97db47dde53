// Runs when the shared library is loaded: the runtime locale follows the system's, as the
// Windows build does with the default ANSI code page.
#include <clocale>

namespace {

__attribute__((constructor)) void zentroOnLoad() { std::setlocale(LC_ALL, ""); }

} // namespace
