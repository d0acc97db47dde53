#include "zentro_runner.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace ztest {

Zentro::Zentro(const std::string& args, const ZentroPlace& place,
               const std::function<void(pid_t)>& beforeStart) {
    int gate[2];
    if (::pipe(gate) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(gate[1]);
        char go = 0;
        if (::read(gate[0], &go, 1) != 1) std::_Exit(126);
        if (!place.folder.empty() && ::chdir(place.folder.c_str()) != 0) std::_Exit(126);
        if (!place.home.empty()) ::setenv("HOME", place.home.c_str(), 1);
        if (!place.documents.empty()) ::setenv("XDG_DOCUMENTS_DIR", place.documents.c_str(), 1);
        const std::string& temp = place.temp.empty() ? place.documents : place.temp;
        if (!temp.empty()) ::setenv("TMPDIR", temp.c_str(), 1);
        ::setenv("ANDROID_ADB_SERVER_PORT", std::to_string(place.adbPort).c_str(), 1);
#if !defined(__SANITIZE_ADDRESS__)
        const rlimit limit{512ul << 20, 512ul << 20};
        if (place.limitMemory) ::setrlimit(RLIMIT_AS, &limit);
#endif
        const std::string command = place.environment + " exec '" + testBinFolder() + "/zentro' " + args +
                                    " >'" + scratch_.file("out") + "' 2>'" + scratch_.file("err") +
                                    "' </dev/null";
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(gate[0]);
    if (pid_ > 0 && beforeStart) beforeStart(pid_);
    (void)!::write(gate[1], "g", 1);
    ::close(gate[1]);
}

Zentro::~Zentro() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool Zentro::running() {
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return pid_ > 0;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
}

ZentroRun Zentro::wait(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (running()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        status_ = -1;
    }
    return {status_, out(), err()};
}

bool Zentro::waitForError(const std::string& text) {
    return waitFor([&] { return err().find(text) != std::string::npos; });
}

std::pair<int, double> Zentro::interrupt() {
    const auto sent = std::chrono::steady_clock::now();
    ::kill(pid_, SIGINT);
    const ZentroRun run = wait(std::chrono::seconds(5));
    if (run.status == -1) return {-1, -1};
    return {run.status, std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count()};
}

} // namespace ztest
