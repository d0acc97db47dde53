// Ctrl-C: long commands poll this flag, call the library's abort and exit with status 130.
#pragma once

namespace zentro::cli {

void watchInterrupts();
bool interrupted();
void forgetInterrupt();

} // namespace zentro::cli
