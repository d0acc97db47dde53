#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <CLI/CLI.hpp>

#include "cli.h"
#include "interrupt.h"
#include "ui/server.h"
#include "ui/ui.h"

extern char** environ;

namespace zentro::ui {
namespace {

// A desktop session has a display and xdg-open; without them the address printed is the way in.
void openBrowser(const std::string& url) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || display[0] == '\0') && (wayland == nullptr || wayland[0] == '\0')) return;
    if (::access("/usr/bin/xdg-open", X_OK) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(url.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/usr/bin/xdg-open", &actions, nullptr, argv, environ) == 0) {
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach(); // reaped, never a zombie
    }
    posix_spawn_file_actions_destroy(&actions);
}

void runUi(int port, bool noBrowser) {
    cli::startLibrary(); // the run's private temporary folder, then the library
    const char* temp = std::getenv("TMPDIR");
    const std::string folder = std::string(temp != nullptr ? temp : "/tmp") + "/ui";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw cli::Failure("cannot make the private folder " + folder);
    ServerOptions options;
    options.port = port;
    options.privateFolder = folder;
    Server server(options);
    if (server.bind() < 0)
        throw cli::Failure("cannot listen on 127.0.0.1:" + std::to_string(port) + ": choose another --port");
    std::printf("zentro ui: open %s\n(Ctrl-C stops it)\n", server.url().c_str());
    std::fflush(stdout);
    std::thread serving([&server] { server.serve(); });
    if (!noBrowser) openBrowser(server.url());
    while (!cli::interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::fprintf(stderr, "zentro ui: stopping\n");
    server.stop();
    serving.join();
    std::fprintf(stderr, "zentro ui: stopped\n");
    cli::forgetInterrupt(); // Ctrl-C is how the server ends, not a failure
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
