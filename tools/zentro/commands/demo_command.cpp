// demo: the main job of the tool against a virtual phone, narrated. It starts zentro-phone from
// this program's folder, points adb at it and runs this program's own commands, as a person
// would type them, so what it shows is what the commands do.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "adb_server.h"
#include "cli.h"
#include "commands/commands.h"
#include "interrupt.h"
#include "progress.h"

namespace zentro::cli {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

// Waits for a child up to `timeout`; kills it after that. Its exit status, or -1.
int reap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Runs a program with its standard output into `capture` (when given) or onto ours.
int runProgram(const std::vector<std::string>& argv, std::string* capture) {
    int out[2] = {-1, -1};
    if (capture != nullptr && ::pipe(out) != 0) return -1;
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (capture != nullptr) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::_Exit(127);
    }
    if (capture != nullptr) {
        ::close(out[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(out[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
            if (n > 0) capture->append(buffer, static_cast<size_t>(n));
        }
        ::close(out[0]);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The virtual phone: it serves until its standard input closes.
class VirtualPhone {
public:
    VirtualPhone() {
        const std::string program = programFolder() + "/zentro-phone";
        if (::access(program.c_str(), X_OK) != 0)
            throw Failure("zentro-phone is missing beside this program: build the linux preset");
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) throw Failure("cannot start zentro-phone: out of pipes");
        pid_ = ::fork();
        if (pid_ < 0) throw Failure("cannot start zentro-phone: fork failed");
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
            ::setpgid(0, 0); // Ctrl-C is ours to handle: the phone stops when we say
            ::execl(program.c_str(), program.c_str(), "--adb-port", "0", "--devices", "1", "--seed", "7",
                    static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        leash_ = in[1];
        std::string line;
        char c;
        while (line.size() < 200 && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        if (std::sscanf(line.c_str(), "ready adb-port=%d", &port_) != 1) {
            stop();
            throw Failure("zentro-phone did not start (it said '" + line + "')");
        }
    }
    ~VirtualPhone() { stop(); }
    int port() const { return port_; }
    void stop() {
        if (pid_ <= 0) return;
        ::close(leash_);
        reap(pid_, std::chrono::seconds(5));
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int leash_ = -1;
    int port_ = 0;
};

class Demo {
public:
    explicit Demo(std::string folder)
        : folder_(std::move(folder)) {}

    void section(const std::string& title) {
        if (interrupted()) throw Failure("demo interrupted", kExitInterrupted);
        std::printf("\n== %s\n", title.c_str());
    }

    // Runs `zentro ARGS`, shows it as typed; with `lines` > 0 only that many lines of its output.
    std::string zentro(const std::string& shown, std::vector<std::string> args, size_t lines = 0,
                       bool quiet = false) {
        if (!quiet) std::printf("$ zentro %s\n", shown.c_str());
        args.insert(args.begin(), programFolder() + "/zentro");
        std::string out;
        const bool capture = quiet || lines > 0;
        const int status = runProgram(args, capture ? &out : nullptr);
        if (status != 0) {
            if (status == kExitInterrupted || interrupted())
                throw Failure("demo interrupted", kExitInterrupted);
            throw Failure("'zentro " + shown + "' failed with status " + std::to_string(status));
        }
        if (!quiet && lines > 0) {
            size_t at = 0;
            for (size_t n = 0; n < lines && at < out.size(); ++n) {
                const size_t end = out.find('\n', at);
                std::printf("%s\n", out.substr(at, end - at).c_str());
                at = end == std::string::npos ? out.size() : end + 1;
            }
            if (at < out.size()) std::printf("...\n");
        }
        return out;
    }

    json listJson(const std::string& family) {
        return json::parse(zentro("", {"--json", family, "list"}, 0, true));
    }

    std::string file(const std::string& name) const { return (fs::path(folder_) / name).string(); }

private:
    std::string folder_;
};

void demoCommand(const std::string& folder) {
    const auto started = std::chrono::steady_clock::now();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) throw Failure("cannot create " + folder + ": " + error.message());

    std::printf("Starting a virtual phone (zentro-phone) ...\n");
    VirtualPhone phone;
    const std::string port = std::to_string(phone.port());
    ::setenv("ANDROID_ADB_SERVER_PORT", port.c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", folder.c_str(), 1); // the library's log goes beside the rest
    ::unsetenv("ANDROID_SERIAL");                     // the user's own phone is not the virtual one
    std::printf("its adb server listens on 127.0.0.1:%s; ANDROID_ADB_SERVER_PORT=%s points adb there\n",
                port.c_str(), port.c_str());

    Demo demo(folder);
    auto run = [&] {
        demo.section("1. Detect the phone");
        demo.zentro("devices", {"devices"});

        demo.section("2. Prepare it: install and start the companion app");
        demo.zentro("prepare", {"prepare"});

        demo.section("3. What is on it");
        const char* families[] = {"sms",  "calls",  "contacts", "calendar",
                                  "apps", "photos", "music",    "videos"};
        const char* nouns[] = {"messages", "calls",  "contacts", "events",
                               "apps",     "photos", "tracks",   "videos"};
        json photos, music;
        for (size_t i = 0; i < std::size(families); ++i) {
            const json list = demo.listJson(families[i]);
            if (std::string(families[i]) == "photos") photos = list;
            if (std::string(families[i]) == "music") music = list;
            std::printf("%-10s %zu\n", nouns[i], list.size());
        }

        demo.section("4. Latest conversations");
        demo.zentro("sms threads", {"sms", "threads"}, 6);
        demo.section("5. Contacts");
        demo.zentro("contacts list", {"contacts", "list"}, 6);
        demo.section("6. Calendar");
        demo.zentro("calendar list", {"calendar", "list"}, 6);
        demo.section("7. Applications");
        demo.zentro("apps list", {"apps", "list"}, 6);

        demo.section("8. Download a photo and a song");
        if (photos.empty() || music.empty()) throw Failure("the virtual phone holds no photo or no song");
        const std::string photoId = std::to_string(photos[0]["id"].get<int>());
        const std::string songId = std::to_string(music[0]["id"].get<int>());
        demo.zentro("photos pull " + photoId + " " + folder, {"photos", "pull", photoId, folder});
        demo.zentro("music pull " + songId + " " + folder, {"music", "pull", songId, folder});

        demo.section("9. Upload a file and show it arrived");
        const std::string upload = demo.file("zentro-upload.png");
        std::error_code copyError;
        fs::copy_file(demo.file(fs::path(photos[0]["path"].get<std::string>()).filename().string()), upload,
                      fs::copy_options::overwrite_existing, copyError);
        if (copyError)
            throw Failure("cannot copy the downloaded photo for the upload: " + copyError.message());
        demo.zentro("photos push " + upload, {"photos", "push", upload});
        const json after = demo.listJson("photos");
        std::printf("the phone now lists %zu photos (%zu before)\n", after.size(), photos.size());

        demo.section("10. Take a screenshot");
        const std::string screen = demo.file("screenshot.png");
        demo.zentro("screenshot --force " + screen, {"screenshot", "--force", screen}); // the demo's own file
    };
    int failedWith = 0;
    std::string failure;
    try {
        run();
    } catch (const Failure& f) {
        failedWith = f.exitCode;
        failure = f.what();
    }

    std::printf("\n== Stop the phone\n");
    std::string ignored;
    runProgram({programFolder() + "/adb", "kill-server"}, &ignored);
    phone.stop();
    std::printf("adb server stopped, virtual phone stopped\n");
    if (failedWith != 0) throw Failure(failure, failedWith);

    std::printf("\n== Where everything went (%s)\n", folder.c_str());
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        if (!entry.is_regular_file()) continue;
        std::printf("%10s  %s\n", formatBytes(static_cast<double>(entry.file_size())).c_str(),
                    entry.path().c_str());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("\ndemo finished in %.1f s\n", seconds);
}

} // namespace

void addDemoCommand(CLI::App& app) {
    auto* demo =
        app.add_subcommand("demo", "Show the main job against a virtual phone (zentro-phone), narrated");
    static std::string folder = "zentro-demo";
    demo->add_option("--out", folder, "Folder for the downloads, the screenshot and the log")
        ->capture_default_str();
    demo->callback([] { demoCommand(absolutePath(folder)); });
}

} // namespace zentro::cli
