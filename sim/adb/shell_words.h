// Splits a shell command line, as the phone's shell would, into simple commands: words with
// the quoting removed ('single', "double", backslash), redirections ("</dev/null", "2>&1",
// "> file") and the connectors between commands (";", "&&", "||", "|"). No expansion of
// variables or globs: the adb client quotes every argument it builds itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zsim::adb {

struct Redirect {
    int fd = 1;         // 0 for "<", 1 for ">" unless a number stood before it
    std::string op;     // "<", ">", ">>", ">&"
    std::string target; // the file, or the descriptor number after ">&"
};

struct SimpleCommand {
    std::vector<std::string> words;
    std::vector<Redirect> redirects;
    std::string connector; // what joins it to the next command; "" for the last
};

struct ShellLine {
    std::vector<SimpleCommand> commands;
    std::string error; // non-empty: a syntax error, commands are then empty
};

ShellLine parseShellLine(std::string_view line);

} // namespace zsim::adb
