// zentro: the command-line host of the library. It uses only the exported functions, as any
// host does, so what it shows is what a host gets.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli.h"
#include "commands/commands.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "ui/ui.h"

using namespace zentro::cli;

namespace {

// Options given before the command apply to every command, so each command's help shows them.
class Help : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
        if (mode != CLI::AppFormatMode::Normal || app->get_parent() == nullptr)
            return CLI::Formatter::make_help(app, std::move(name), mode);
        const CLI::App* root = app;
        while (root->get_parent() != nullptr) root = root->get_parent();
        const auto global = root->get_options([root](const CLI::Option* option) {
            return option->nonpositional() && option != root->get_help_ptr() &&
                   option != root->get_help_all_ptr() && option != root->get_version_ptr();
        });
        std::string out = make_description(app) + make_usage(app, std::move(name)) + make_positionals(app) +
                          make_groups(app, mode);
        if (!global.empty()) out += make_group("Global options (before or after the command)", false, global);
        return out + make_subcommands(app, mode) + "\n" + make_footer(app);
    }
};

// Edits to turn one word into the other, a swap of neighbours counting as one ("devcies").
size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

std::string commandList(const CLI::App& app) {
    std::string list;
    for (const CLI::App* sub : app.get_subcommands({})) {
        std::string name = sub->get_name();
        name.resize(std::max<size_t>(name.size(), 12), ' ');
        list += "  " + name + " " + sub->get_description() + "\n";
    }
    return list;
}

// A missing or unknown command: say which, suggest the nearest, and list them.
int commandMissing(const CLI::App& app) {
    const CLI::App* at = &app;
    for (;;) {
        const auto parsed = at->get_subcommands();
        if (parsed.empty()) break;
        at = parsed.back();
    }
    const std::vector<std::string> left = app.remaining();
    std::string path = at->get_name();
    for (const CLI::App* up = at->get_parent(); up != nullptr; up = up->get_parent())
        path = up->get_name() + " " + path;
    if (left.empty()) {
        std::fprintf(stderr, "%s: a command is required; one of:\n%s", path.c_str(),
                     commandList(*at).c_str());
    } else if (left.front().rfind('-', 0) == 0) {
        std::fprintf(stderr, "%s: unknown option '%s'\n", path.c_str(), left.front().c_str());
    } else {
        const std::string& word = left.front();
        std::string nearest;
        size_t best = 3; // further than two edits is no longer a typing slip
        for (const CLI::App* sub : at->get_subcommands({})) {
            const size_t d = distance(word, sub->get_name());
            if (d < best || (d == best && sub->get_name().rfind(word, 0) == 0)) {
                best = d;
                nearest = sub->get_name();
            }
        }
        std::fprintf(stderr, "%s: unknown command '%s'%s\n", path.c_str(), word.c_str(),
                     nearest.empty() ? "" : ("; did you mean '" + nearest + "'?").c_str());
        if (nearest.empty()) std::fprintf(stderr, "the commands are:\n%s", commandList(*at).c_str());
    }
    std::fprintf(stderr, "Run with --help for more information.\n");
    return kExitUsage;
}

// The work stopped because the phone left: say which phone, then what the command kept (its
// own message, which speaks of an interruption).
int reportGonePhone(std::string kept) {
    for (const char* lead : {"interrupted: ", "interrupted; "}) {
        if (kept.rfind(lead, 0) == 0) kept.erase(0, std::strlen(lead));
    }
    std::fprintf(stderr, "zentro: phone %s went away (adb no longer lists it as usable)%s%s\n",
                 gonePhone().c_str(), kept.empty() ? "" : "; ", terminalSafe(kept).c_str());
    return kExitFailed;
}

// The word naming the command: the first argument that is neither an option nor the value of a
// global option. Empty when help or the version is asked for, which show every command.
std::string commandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg.rfind("--help", 0) == 0 || arg == "--version") return "";
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // -s and -d take the next word, also at the end of a cluster of short flags ("-vs").
        const bool shortCluster = arg.size() >= 2 && arg[0] == '-' && arg[1] != '-';
        if (arg == "--serial" || arg == "--device" ||
            (shortCluster && (arg.back() == 's' || arg.back() == 'd'))) {
            ++i;
        } else if (arg.empty() || arg[0] != '-') {
            return arg;
        }
    }
    return "";
}

// The command families in the order help lists them. Building every command's parser costs more
// CPU than some commands' own work (`zentro devices` runs five short adb clients), so they are
// built in this order only until the command asked for exists; a word no family knows gets all
// of them, for the suggestion and the list.
void addCommands(CLI::App& app, int argc, char** argv) {
    using Add = void (*)(CLI::App&);
    static const Add kFamilies[] = {addDeviceCommands, addRecordCommands,       addAppCommands,
                                    addMediaCommands,  addPairCommands,         addDemoCommand,
                                    addBackupCommands, zentro::ui::addUiCommand};
    const std::string word = commandWord(argc, argv);
    for (Add add : kFamilies) {
        add(app);
        if (!word.empty() &&
            !app.get_subcommands([&word](CLI::App* command) { return command->check_name(word); }).empty())
            return;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"zentro: read and change the contents of Android phones from this computer.\n"
                 "The adb client beside this program is used; ANDROID_ADB_SERVER_PORT selects its server.\n"
                 "Exit status: 0 success, 1 failed operation, 2 usage error, 130 interrupted."};
    app.name("zentro");
    app.formatter(std::make_shared<Help>());
    app.set_help_all_flag("--help-all", "Show the help of every command");
    app.set_version_flag("--version", "zentro " ZENTRO_VERSION);
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

    addCommands(app, argc, argv);

    // As adb does: -s first, then ANDROID_SERIAL; an explicit -d beats the environment. Commands
    // that pick no phone by -d ignore it.
    app.parse_complete_callback([&app, serial] {
        const char* fromEnvironment = std::getenv("ANDROID_SERIAL");
        if (serial->count() == 0 && app.get_option("--device")->count() == 0 && fromEnvironment != nullptr)
            options().serial = fromEnvironment;
        for (const CLI::App* command : app.get_subcommands()) {
            const std::string name = command->get_name();
            if (name == "devices" || name == "demo" || name == "pair" || name == "copy" || name == "ui")
                return;
        }
        selectPhoneBySerial();
    });

    watchInterrupts();
    try {
        app.parse(argc, argv);
    } catch (const CLI::RequiredError& error) {
        if (std::string(error.what()).find("subcommand") != std::string::npos) return commandMissing(app);
        app.exit(error);
        return kExitUsage;
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error); // --help, --version
        app.exit(error);
        return kExitUsage;
    } catch (const Failure& failure) {
        std::fflush(stdout);
        if (!gonePhone().empty()) return reportGonePhone(failure.what());
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
    if (!gonePhone().empty()) return reportGonePhone("");
    return interrupted() ? kExitInterrupted : kExitOk;
}
