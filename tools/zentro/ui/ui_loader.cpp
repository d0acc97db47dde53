// The ui command as the CLI holds it: its options, and the module that serves it, loaded on use.
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

#include "adb_server.h"
#include "cli.h"
#include "formats/lazy_library.h"
#include "ui/ui.h"

namespace zentro::ui {
namespace {

const char* const kModule = "zentro-ui.so";

// Beside zentro in a build folder; in the private library folder once installed.
std::optional<cli::LazyLibrary> openModule(std::string& tried) {
    const std::string folder = cli::programFolder();
    for (const std::string& path : {folder + "/" + kModule, folder + "/" ZENTRO_MODULE_DIR "/" + kModule}) {
        try {
            return std::optional<cli::LazyLibrary>(std::in_place, path.c_str());
        } catch (const std::runtime_error& error) {
            tried += std::string("; ") + error.what();
        }
    }
    return std::nullopt;
}

void runUi(int port, bool noBrowser) {
    std::string tried;
    const std::optional<cli::LazyLibrary> module = openModule(tried);
    if (!module)
        throw cli::Failure(std::string("zentro ui needs its module ") + kModule +
                           ", which could not be loaded (reinstall zentro)" + tried);
    const char* version = nullptr;
    decltype(&zentro_ui_run) run = nullptr;
    try {
        version = module->function<const char*>("zentro_ui_version");
        run = module->function<decltype(&zentro_ui_run)>("zentro_ui_run");
    } catch (const std::runtime_error&) {}
    if (version == nullptr || run == nullptr || std::strcmp(version, ZENTRO_VERSION) != 0)
        throw cli::Failure(std::string(kModule) + " is not the one of zentro " ZENTRO_VERSION
                                                  " (reinstall zentro)");
    run(port, noBrowser); // the module stays loaded until the process ends
}

} // namespace

void addUiCommand(CLI::App& app) {
    auto* ui = app.add_subcommand("ui", "Manage the phones in a web browser on this computer");
    static int port = 0;
    static bool noBrowser = false;
    ui->add_option("--port", port, "Port on 127.0.0.1 (default: a free one)")->check(CLI::Range(0, 65535));
    ui->add_flag("--no-browser", noBrowser, "Only print the address to open");
    ui->callback([] { runUi(port, noBrowser); });
}

} // namespace zentro::ui
