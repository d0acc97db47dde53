// zentro ui inside its module: the server and what it needs, loaded by the CLI only for this
// command (see ui.h).
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "adb_server.h"
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

bool localPortFree(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true; // cannot tell: the library's own checks remain
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on); // a closed connection is no holder
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

// Phones 0 and 1 are reached through 127.0.0.1:30148 and 30149, forwarded by our adb server. A
// port that is taken while our server forwards nothing there is another adb server's or
// program's: what answers there is not our phone, so the page would show someone else's data.
void requireChannelPorts() {
    std::vector<cli::AdbForward> forwards;
    cli::listForwards(forwards); // no server yet: none of ours
    for (int port : {30148, 30149}) {
        const std::string local = "tcp:" + std::to_string(port);
        const bool ours = std::any_of(forwards.begin(), forwards.end(),
                                      [&local](const cli::AdbForward& f) { return f.local == local; });
        if (!ours && !localPortFree(port))
            throw cli::Failure("local port " + std::to_string(port) +
                               " is held by another adb server or program, so the phones could not be "
                               "reached through it; stop that server ('adb kill-server' with its "
                               "ANDROID_ADB_SERVER_PORT) or program, then start zentro ui again");
    }
}

void runUi(int port, bool noBrowser) {
    requireChannelPorts();
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
} // namespace zentro::ui

extern "C" const char zentro_ui_version[] = ZENTRO_VERSION;

extern "C" void zentro_ui_run(int port, bool noBrowser) { zentro::ui::runUi(port, noBrowser); }
