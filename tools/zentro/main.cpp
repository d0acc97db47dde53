// zentro: the command-line host of the library. It uses only the exported functions, as any
// host does, so what it shows is what a host gets.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <CLI/CLI.hpp>

#include "cli.h"
#include "commands.h"
#include "interrupt.h"

using namespace zentro::cli;

namespace {

// The work stopped because the phone left: say which phone, then what the command kept (its
// own message, which speaks of an interruption).
int reportGonePhone(std::string kept) {
    for (const char* lead : {"interrupted: ", "interrupted; "}) {
        if (kept.rfind(lead, 0) == 0) kept.erase(0, std::strlen(lead));
    }
    std::fprintf(stderr, "zentro: phone %s went away (adb no longer lists it as usable)%s%s\n",
                 gonePhone().c_str(), kept.empty() ? "" : "; ", kept.c_str());
    return kExitFailed;
}

} // namespace

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
    auto* serial = app.add_option("-s,--serial", opts.serial,
                                  "Phone by serial, as 'zentro devices' lists it (default: $ANDROID_SERIAL)");
    serial->excludes("--device");
    app.add_flag("--json", opts.json, "Print JSON for scripts instead of text");
    app.add_flag("-v,--verbose", opts.verbose, "Show the library's start-up output and the log location");

    addDeviceCommands(app);
    addRecordCommands(app);
    addAppCommands(app);
    addMediaCommands(app);
    addPairCommands(app);
    addDemoCommand(app);
    addBackupCommands(app);

    // As adb does: -s first, then ANDROID_SERIAL; an explicit -d beats the environment. Commands
    // that pick no phone by -d ignore it.
    app.parse_complete_callback([&app, serial] {
        const char* fromEnvironment = std::getenv("ANDROID_SERIAL");
        if (serial->count() == 0 && app.get_option("--device")->count() == 0 && fromEnvironment != nullptr)
            options().serial = fromEnvironment;
        for (const CLI::App* command : app.get_subcommands()) {
            const std::string name = command->get_name();
            if (name == "devices" || name == "demo" || name == "pair" || name == "copy") return;
        }
        selectPhoneBySerial();
    });

    watchInterrupts();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error); // --help
        app.exit(error);
        return kExitUsage;
    } catch (const Failure& failure) {
        std::fflush(stdout);
        if (!gonePhone().empty()) return reportGonePhone(failure.what());
        std::fprintf(stderr, "zentro: %s\n", failure.what());
        return failure.exitCode;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zentro: %s\n", error.what());
        return kExitFailed;
    }
    if (!gonePhone().empty()) return reportGonePhone("");
    return interrupted() ? kExitInterrupted : kExitOk;
}
