// The backup's page with 100,000 messages, opened from its file in headless Chromium, beside an
// empty page opened the same way: the difference is what the user waits for beyond the browser
// itself. The page is made by `zentro backup` of a virtual phone, so the bench follows the page
// as it is; a run counts only when the dumped page holds a drawn conversation (an element inside
// #list).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/process.h"
#include "ratio_reporter.h"
#include "test_support.h"
#include "virtual_phone.h"

namespace {

constexpr int kMessages = 100000;
const char* const kBrowser = "/usr/bin/chromium";

std::string g_page;  // the backup's index.html
std::string g_empty; // an empty page
std::string g_scratch;

int run(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The page's DOM once it has loaded and its timers have run, or "" when the browser failed.
std::string dumpDom(const std::string& page) {
    const std::string out = g_scratch + "/dom.html";
    // Root in a private namespace has no sandbox to drop into; the profile is the run's own.
    const std::string command = "timeout 120 " + std::string(kBrowser) +
                                " --headless --no-sandbox --disable-gpu --no-first-run "
                                "--disable-background-networking --disable-component-update --disable-sync "
                                "--user-data-dir='" +
                                g_scratch + "/profile' --virtual-time-budget=10000 --dump-dom 'file://" +
                                page + "' >'" + out + "' 2>/dev/null";
    return run(command) == 0 ? ztest::readFile(out) : std::string();
}

// Whether #list has an element inside it.
bool conversationDrawn(const std::string& dom) {
    const size_t list = dom.find("id=\"list\"");
    if (list == std::string::npos) return false;
    const size_t open = dom.find('>', list);
    return open != std::string::npos && dom.compare(open + 1, 1, "<") == 0 &&
           dom.compare(open + 1, 2, "</") != 0;
}

void BM_Page_Messages(benchmark::State& state) {
    for (auto _ : state) {
        if (!conversationDrawn(dumpDom(g_page))) {
            state.SkipWithError("no conversation drawn in #list");
            break;
        }
    }
}

void BM_Page_Empty(benchmark::State& state) {
    for (auto _ : state) {
        if (dumpDom(g_empty).empty()) {
            state.SkipWithError("the browser failed");
            break;
        }
    }
}

BENCHMARK(BM_Page_Messages)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Page_Empty)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

std::string findPage(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        if (entry.path().filename() == "index.html") return entry.path().string();
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    zbench::initialize(&argc, argv);
    if (::access(kBrowser, X_OK) != 0) {
        std::fprintf(stderr, "%s is missing (apt-get install chromium)\n", kBrowser);
        return 1;
    }
    ztest::ScratchFolder work;
    g_scratch = work.path();
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", work.path().c_str());
    ztest::VirtualPhone phone(
        R"({"devices":[{"serial":"ZX1G22ABCD000000", "sizes": {"messages": )" + std::to_string(kMessages) +
        R"(, "contacts": 0, "calls": 0, "events": 0, "apps": 0, "photos": -1, "music": -1,
                              "videos": -1}}]})");
    phone.exportAdbPort();
    const std::string bin = ztest::testBinFolder();
    const std::string dir = work.file("backup");
    if (run("'" + bin + "/zentro' prepare >/dev/null 2>&1 && '" + bin + "/zentro' backup '" + dir +
            "' >/dev/null 2>" + work.file("err")) != 0) {
        std::fprintf(stderr, "backup failed: %s\n", ztest::readFile(work.file("err")).c_str());
        return 1;
    }
    g_page = findPage(dir);
    if (g_page.empty()) {
        std::fprintf(stderr, "the backup in %s has no index.html\n", dir.c_str());
        return 1;
    }
    g_empty = work.file("empty.html");
    ztest::writeFile(g_empty, "<!DOCTYPE html><html><body><div id=\"list\"></div></body></html>\n");

    zbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double page = reporter.seconds("BM_Page_Messages");
    const double empty = reporter.seconds("BM_Page_Empty");
    reporter.printRatio("page of 100000 messages / empty page", "BM_Page_Messages", "BM_Page_Empty");
    if (page > 0 && empty > 0)
        std::printf("page of %d messages: %.2f s more than the empty page (goal <= 1 s)\n", kMessages,
                    page - empty);
    benchmark::Shutdown();
    return 0;
}
