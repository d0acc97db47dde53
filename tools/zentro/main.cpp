// zentro: the command-line host of the library. It uses only the exported functions, as any
// host does, so what it shows is what a host gets.
#include <cstdio>
#include <exception>
#include <new>

#include <CLI/CLI.hpp>

#include "cli.h"
#include "commands.h"
#include "interrupt.h"
#include "safe_text.h"

using namespace zentro::cli;

int main(int argc, char** argv) {
    CLI::App app{"zentro: read and change the contents of Android phones from this computer.\n"
                 "The adb client beside this program is used; ANDROID_ADB_SERVER_PORT selects its server.\n"
                 "Exit status: 0 success, 1 failed operation, 2 usage error, 130 interrupted."};
    app.name("zentro");
    app.set_help_all_flag("--help-all", "Show the help of every command");
    app.require_subcommand(1);
    app.fallthrough();
    Options& opts = options();
    app.add_option("-d,--device", opts.device, "Phone index (0-9), as 'zentro devices' lists them")
        ->check(CLI::Range(0, 9))
        ->capture_default_str();
    app.add_flag("--json", opts.json, "Print JSON for scripts instead of text");
    app.add_flag("-v,--verbose", opts.verbose, "Show the library's start-up output and the log location");

    addDeviceCommands(app);
    addRecordCommands(app);
    addAppCommands(app);
    addMediaCommands(app);
    addPairCommands(app);
    addDemoCommand(app);
    addBackupCommands(app);

    watchInterrupts();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error); // --help
        app.exit(error);
        return kExitUsage;
    } catch (const Failure& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "zentro: %s\n", terminalSafe(failure.what()).c_str());
        return failure.exitCode;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr,
                     "zentro: out of memory: what the phone sent does not fit in this computer's memory\n");
        return kExitFailed;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zentro: %s\n", terminalSafe(error.what()).c_str());
        return kExitFailed;
    }
    return interrupted() ? kExitInterrupted : kExitOk;
}
