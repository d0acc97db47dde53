// A phone that cannot be trusted, against every command that reads from it: lists, exports,
// pulls, backup, restore and copy, each under a 512 MiB address-space limit. Each ends with
// status 0 or 1 (and a message), writes only inside its target folder, replaces nothing that
// was there, and prints no terminal control bytes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "formats/safe_text.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentro_runner.h"

namespace {

namespace fs = std::filesystem;

using Outcome = ztest::ZentroRun;

// The world one zentro run sees: a home with a .bashrc, a working folder, an output folder, a
// temporary folder of its own; everything the runs may write is under work/, out/, tmp/ and the
// log folder. Runs have 512 MiB of address space.
class World {
public:
    World() {
        for (const char* folder : {"home/Documents", "work", "out/pulled", "tmp"})
            fs::create_directories(fs::path(root_.path()) / folder);
        ztest::writeFile(path("home/.bashrc"), "export PS1=home\n");
        ztest::writeFile(path("work/.bashrc"), "export PS1=work\n");
    }
    std::string path(const std::string& relative) const { return root_.file(relative); }
    Outcome zentro(const std::string& args, int adbPort, const std::function<void(pid_t)>& beforeStart = {}) {
        return ztest::Zentro(
                   args, {adbPort, path("home/Documents"), path("tmp"), path("work"), path("home"), "", true},
                   beforeStart)
            .wait();
    }

private:
    ztest::ScratchFolder root_;
};

// What the test planted or may find: path relative to the root, and the bytes of files.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const std::string relative = fs::relative(it->path(), root).string();
        entries[relative] = it->is_regular_file() && !it->is_symlink() ? ztest::readFile(it->path()) : "";
    }
    return entries;
}

const char* const kPhones = R"({"devices": [
    {"serial": "ZX1G22ABCD000000", "seed": 41, "hostile": true, "sizes": {"calls": 40}},
    {"serial": "ZX1G22ABCD000001", "seed": 42}]})";

TEST(HostilePhone, EveryCommandStaysInItsFolderAndItsStatusesUnderAMemoryLimit) {
    ztest::VirtualPhone phone(kPhones);
    const int port = phone.adbPort();
    World world;
    ASSERT_EQ(world.zentro("prepare", port).status, 0);
    ASSERT_EQ(world.zentro("-d 1 prepare", port).status, 0);

    const auto check = [&](const std::string& args, const Outcome& run) {
        EXPECT_TRUE(run.status == 0 || run.status == 1) << args << ": status " << run.status << "\n"
                                                        << run.err;
        if (run.status == 1) {
            EXPECT_NE(run.err.find("zentro: "), std::string::npos) << args << ": " << run.err;
        }
        EXPECT_FALSE(ztest::holdsTerminalControls(run.out)) << args << ": control bytes on standard output";
        EXPECT_FALSE(ztest::holdsTerminalControls(run.err)) << args << ": control bytes on standard error";
    };
    const auto run = [&](const std::string& args) {
        Outcome result = world.zentro(args, port);
        check(args, result);
        return result;
    };

    std::map<std::string, nlohmann::json> lists;
    for (const char* family : {"sms", "calls", "calendar", "contacts", "photos", "music", "videos"}) {
        run(std::string(family) + " list");
        const Outcome json = run(std::string("--json ") + family + " list");
        if (json.status == 0) {
            EXPECT_NO_THROW(lists[family] = nlohmann::json::parse(json.out)) << family << " --json";
        }
    }
    run("sms threads");
    const Outcome threads = run("--json sms threads");
    if (threads.status == 0) {
        EXPECT_TRUE(nlohmann::json::accept(threads.out)) << threads.out;
    }
    const Outcome apps = run("--json apps list --system");
    EXPECT_EQ(apps.status, 0) << apps.err;
    EXPECT_TRUE(nlohmann::json::accept(apps.out)) << "a label of bytes that are not UTF-8";
    run("apps list --system");
    EXPECT_EQ(run("--json photos list").status, 0) << "a title of bytes that are not UTF-8";
    EXPECT_EQ(run("calendar list").status, 0) << "a count far beyond the events held ends at the last page";

    for (const char* file : {"messages.csv", "messages.json"}) run("sms export ../out/" + std::string(file));
    run("calls export ../out/calls.csv");
    run("calendar export ../out/calendar.ics");
    EXPECT_EQ(run("contacts export ../out/contacts.vcf").status, 0) << "a name of continuation bytes";
    run("contacts export ../out/contacts.csv");

    // Each hostile item, pulled here under its own name and into a folder.
    for (const char* family : {"photos", "music", "videos"}) {
        const nlohmann::json& items = lists[family];
        for (size_t i = 0; i < items.size() && i < 9; ++i) {
            const std::string id = std::to_string(items[i]["id"].get<int>());
            run(std::string(family) + " pull " + id);
            run(std::string(family) + " pull " + id + " ../out/pulled");
        }
    }
    run("backup ../out/backup");
    run("-d 1 restore ../out/backup");

    // Photos go from phone to phone through this computer: what another user plants under a
    // name the copy could guess stays as it is.
    std::vector<std::string> planted;
    const Outcome copy = world.zentro("copy --from 0 --to 1 --what photos", port, [&](pid_t pid) {
        for (const auto& item : lists["photos"]) {
            const std::string name = world.path("tmp/zentro-copy-" + std::to_string(pid) + "-" +
                                                std::to_string(item["id"].get<int>()));
            fs::create_symlink(world.path("home/.bashrc"), name);
            planted.push_back(fs::relative(name, world.path("")).string());
        }
    });
    check("copy", copy);

    // Nothing outside work/, out/, the log folder and the temporary area; nothing there replaced.
    const auto after = snapshot(world.path(""));
    EXPECT_EQ(after.at("home/.bashrc"), "export PS1=home\n");
    EXPECT_EQ(after.at("work/.bashrc"), "export PS1=work\n");
    for (const std::string& name : planted) EXPECT_EQ(after.count(name), 1u) << name << " was removed";
    for (const auto& [relative, bytes] : after) {
        const fs::path path(relative);
        const std::string top = path.begin()->string();
        // The log, and the adb client's own key folder.
        if (relative == "home" || relative == "home/.bashrc" || relative.rfind("home/Documents", 0) == 0 ||
            relative.rfind("home/.android", 0) == 0)
            continue;
        EXPECT_TRUE(top == "work" || top == "out" || top == "tmp") << relative;
        if (top == "tmp") continue; // the library's work folder and the planted links
        const std::string name = path.filename().string();
        if (relative == "work/.bashrc") continue;
        EXPECT_EQ(name, zentro::cli::safeFileName(name, "?")) << "an unsafe name on disk: " << relative;
    }

    // Every CSV the CLI wrote, read back by another program: no cell a spreadsheet would run.
    const std::string script =
        "import csv, sys, glob\n"
        "bad = []\n"
        "for f in glob.glob(sys.argv[1] + '/**/*.csv', recursive=True):\n"
        "    with open(f, newline='', encoding='utf-8', errors='surrogateescape') as h:\n"
        "        for row in csv.reader(h):\n"
        "            bad += [(f, c) for c in row if c[:1] in ('=', '+', '-', '@', '\\t', '\\r')]\n"
        "print(len(glob.glob(sys.argv[1] + '/**/*.csv', recursive=True)), repr(bad[:5]))\n";
    ztest::writeFile(world.path("check.py"), script);
    const std::string verdict = world.path("verdict");
    ASSERT_EQ(std::system(
                  ("python3 '" + world.path("check.py") + "' '" + world.path("out") + "' >'" + verdict + "'")
                      .c_str()),
              0);
    const std::string said = ztest::readFile(verdict);
    EXPECT_NE(said.rfind("0 ", 0), 0u) << "no CSV was written";
    EXPECT_NE(said.find(" []"), std::string::npos) << said;
}

} // namespace
