// The zentro executable run as a user runs it: a child process with its own documents and
// temporary folders, a working folder and the adb server port of a virtual phone.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>

#include "test_support.h"

namespace ztest {

struct ZentroRun {
    int status = -1; // -1: ended by a signal or by the time limit
    std::string out, err;
};

// Where one user's runs happen; empty texts leave the test program's own setting. Every member has
// its default, so a place may name only the first few.
struct ZentroPlace {
    int adbPort = 1;
    std::string documents = {}; // XDG_DOCUMENTS_DIR, and TMPDIR unless `temp` is given
    std::string temp = {};
    std::string folder = {}; // working folder
    std::string home = {};
    std::string environment = {}; // shell assignments before the program, e.g. "ANDROID_SERIAL=X"
    bool limitMemory = false;     // 512 MiB of address space (not under AddressSanitizer)
};

// zentro ARGS (shell words, as typed) in the background; `beforeStart` runs once the child
// exists and before zentro starts in it.
class Zentro {
public:
    Zentro(const std::string& args, const ZentroPlace& place,
           const std::function<void(pid_t)>& beforeStart = {});
    ~Zentro(); // kills and reaps a run still going
    Zentro(const Zentro&) = delete;
    Zentro& operator=(const Zentro&) = delete;

    ZentroRun wait(std::chrono::seconds limit = std::chrono::seconds(300)); // killed after the limit
    bool running();
    bool waitForError(const std::string& text); // up to 20 s
    std::pair<int, double> interrupt();         // Ctrl-C: status and seconds to end (-1, -1: it did not)
    std::string out() const { return readFile(scratch_.file("out")); }
    std::string err() const { return readFile(scratch_.file("err")); }

private:
    ScratchFolder scratch_;
    pid_t pid_ = -1;
    int status_ = -1;
};

inline ZentroRun runZentro(const std::string& args, const ZentroPlace& place) {
    return Zentro(args, place).wait();
}

// One user of zentro: documents, temporary and working folders of the test's own, which every run
// the test starts shares, as the commands of one user do.
class ZentroTest : public ::testing::Test {
protected:
    ZentroPlace place(int port, const std::string& folder = "", const std::string& environment = "") const {
        return {port, documents.path(), temp.path(), folder, "", environment};
    }
    ZentroRun zentro(const std::string& args, int port, const std::string& folder = "",
                     const std::string& environment = "") const {
        return runZentro(args, place(port, folder, environment));
    }
    ScratchFolder documents, temp, work;
};

} // namespace ztest
