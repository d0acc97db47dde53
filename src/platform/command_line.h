// Splitting a command line by the Windows rules, so that POSIX children get the same argument
// vector a Windows child would parse from the same text. Pure; no I/O.
#pragma once

#include <string>
#include <vector>

namespace zentro::platform {

// Blanks (space, tab) separate arguments; double quotes group; 2n backslashes before a quote
// give n backslashes and the quote groups, 2n+1 give n backslashes and a literal quote;
// backslashes elsewhere are literal; "" inside a quoted run gives a literal quote.
std::vector<std::string> splitWindowsCommandLine(const std::string& commandLine);

// Quotes one argument so that splitWindowsCommandLine gives it back unchanged.
std::string quoteWindowsArgument(const std::string& argument);

} // namespace zentro::platform
