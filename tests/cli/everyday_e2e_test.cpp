// zentro where a user runs it: from a working folder of their own with relative paths, several
// at once, beside another adb server, and with a phone that goes away in the middle.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "test_support.h"
#include "virtual_phone.h"
#include "zentro_runner.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

using Outcome = ztest::ZentroRun;

using Everyday = ztest::ZentroTest;

const char* const kTwoPhones = R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 41},
                                              {"serial": "ZX1G22ABCD000001", "seed": 42,
                                               "sizes": {"photos": -1, "music": -1, "videos": -1}}]})";

std::set<std::string> packages(const json& apps) {
    std::set<std::string> out;
    for (const auto& app : apps) out.insert(app["package"].get<std::string>());
    return out;
}

TEST_F(Everyday, PathsAreTheWorkingFolderOnesInstallSaysWhatThePhoneSaidAndTheRightPhoneIsUsed) {
    ztest::VirtualPhone phone(kTwoPhones);
    const int port = phone.adbPort();
    ASSERT_EQ(zentro("prepare", port).status, 0);
    ASSERT_EQ(zentro("-d 1 prepare", port).status, 0);
    const std::string& here = work.path();
    fs::create_directories(here + "/pics");
    fs::create_directories(here + "/apks");
    fs::create_directories(here + "/out");
    ztest::writeFile(here + "/pics/x.png", std::string(5000, 'p'));
    ztest::writeFile(here + "/apks/a.apk", "package=com.example.relative\n");
    ztest::writeFile(here + "/apks/junk.apk", "not a package\n");
    auto listed = [&](const std::string& args) {
        return json::parse(zentro("--json " + args, port, here).out);
    };

    struct Case {
        std::string args;
        int status;
        std::string said; // on standard error
        std::function<void()> check;
    };
    const Case cases[] = {
        {"photos push pics/x.png", 0, "",
         [&] {
             bool found = false;
             for (const auto& p : listed("photos list"))
                 found = found ||
                         (p["path"].get<std::string>().find("/x") != std::string::npos && p["size"] == 5000);
             EXPECT_TRUE(found);
         }},
        {"apps install apks/a.apk", 0, "",
         [&] { EXPECT_EQ(packages(listed("apps list --system")).count("com.example.relative"), 1u); }},
        {"apps install apks/junk.apk", 1, "Failure [INSTALL_FAILED_INVALID_APK]", nullptr},
        {"apps export com.example.relative out/x.apk", 0, "",
         [&] { EXPECT_EQ(ztest::readFile(here + "/out/x.apk"), "package=com.example.relative\n"); }},
        {"apps export com.example.relative", 0, "",
         [&] { EXPECT_TRUE(ztest::fileExists(here + "/com.example.relative.apk")); }},
        {"apps export com.example.relative out/x.apk", 2, "", nullptr}, // an existing file stays
        {"apps export com.example.absent out/y.apk", 1, "", nullptr},
        {"apps uninstall com.vantrey.pocketdesk", 2, "--force",
         [&] { EXPECT_EQ(packages(listed("apps list --system")).count("com.vantrey.pocketdesk"), 1u); }},
        {"apps uninstall com.example.relative", 0, "",
         [&] {
             EXPECT_EQ(packages(listed("apps list --system")).count("com.example.relative"), 0u);
             for (const auto& app : listed("apps list")) EXPECT_FALSE(app["system"].get<bool>());
         }},
        {"apps uninstall com.example.relative", 1, "", nullptr},
        {"apps install apks/none.apk", 2, "", nullptr},
        {"--json backup b1", 0, "",
         [&] {
             const json manifest = json::parse(ztest::readFile(here + "/b1/manifest.json"));
             EXPECT_TRUE(manifest["complete"].get<bool>());
             EXPECT_FALSE(fs::is_empty(here + "/b1/photos"));
         }},
        {"-d 1 restore b1", 0, "",
         [&] { EXPECT_EQ(listed("-d 1 photos list").size(), listed("photos list").size()); }},
    };
    for (const Case& c : cases) {
        const Outcome o = zentro(c.args, port, here);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.out << o.err;
        EXPECT_NE(o.err.find(c.said), std::string::npos) << c.args << "\n" << o.err;
        if (c.check) {
            SCOPED_TRACE(c.args);
            c.check();
        }
    }
    for (const char* stray : {"x.apk", "com.example.relative.apk", "b1"})
        EXPECT_FALSE(fs::exists(ztest::testBinFolder() + "/" + stray))
            << stray << " landed beside the program";

    // Another adb server beside the first, whose phone holds nothing the first one prepared.
    ztest::VirtualPhone other(R"({"devices": [{"serial": "OTHER0000000001", "seed": 7}]})");
    // Port 30148 leads to the first server's phone: the other server's phone cannot get it.
    const Outcome wrong = zentro("--json sms list", other.adbPort());
    EXPECT_EQ(wrong.status, 1) << wrong.err;
    EXPECT_NE(wrong.err.find("another adb server"), std::string::npos) << wrong.err;
    EXPECT_TRUE(wrong.out.empty()) << "nothing from the first server's phone: " << wrong.out.substr(0, 200);
    const Outcome prepare = zentro("prepare", other.adbPort());
    EXPECT_EQ(prepare.status, 1) << prepare.err;

    // Serials pick phones as adb does: -s, else ANDROID_SERIAL; -d beats the environment.
    const struct {
        std::string prefix, args;
        int status;
        std::string index;
    } picks[] = {
        {"", "-s ZX1G22ABCD000001 --json info", 0, "1"},
        {"", "info --serial ZX1G22ABCD000000 --json", 0, "0"},
        {"ANDROID_SERIAL=ZX1G22ABCD000001", "--json info", 0, "1"},
        {"ANDROID_SERIAL=ZX1G22ABCD000001", "-d 0 --json info", 0, "0"},
        {"ANDROID_SERIAL=ZX1G22ABCD000001", "-s ZX1G22ABCD000000 --json info", 0, "0"},
        {"", "-s NOSUCHPHONE info", 1, ""},
        {"", "-s ZX1G22ABCD000001 -d 1 info", 2, ""},
    };
    for (const auto& pick : picks) {
        const Outcome o = zentro(pick.args, port, "", pick.prefix);
        EXPECT_EQ(o.status, pick.status) << pick.prefix << " " << pick.args << ": " << o.err;
        if (!pick.index.empty() && o.status == 0) {
            EXPECT_EQ(json::parse(o.out)["index"].dump(), pick.index) << pick.prefix << " " << pick.args;
        }
    }
    EXPECT_NE(zentro("-s NOSUCHPHONE info", port).err.find("NOSUCHPHONE"), std::string::npos);
}

// Backups of one phone from two zentro runs at once, with other commands beside them; each
// run has a temporary folder of its own and leaves nothing in the shared one.
TEST_F(Everyday, CommandsAtOnceNeverDisturbEachOther) {
    ztest::VirtualPhone phone(R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 43,
        "sizes": {"messages": 60, "photos": 12},
        "companionFaults": {"getdcimdata": {"delayMs": 30}}}]})");
    const int port = phone.adbPort();
    ASSERT_EQ(zentro("prepare", port).status, 0);
    ztest::Zentro first("backup '" + work.file("a") + "'", place(port));
    ASSERT_TRUE(first.waitForError("backing up")) << first.err();
    const Outcome second = zentro("backup '" + work.file("b") + "'", port);
    EXPECT_EQ(second.status, 0) << second.err;
    int rounds = 0;
    while (first.running() && rounds < 50) {
        for (const char* args : {"devices", "sms list"}) {
            const Outcome o = zentro(args, port);
            EXPECT_EQ(o.status, 0) << args << ": " << o.err;
        }
        ++rounds;
    }
    ASSERT_EQ(first.wait(std::chrono::seconds(60)).status, 0) << first.err();
    for (const char* file : {"messages.json", "calls.csv", "calendar.ics", "contacts.vcf", "apps.json"}) {
        const std::string a = ztest::readFile(work.file("a") + "/" + file);
        EXPECT_FALSE(a.empty()) << file;
        EXPECT_TRUE(a == ztest::readFile(work.file("b") + "/" + file)) << file;
    }
    EXPECT_TRUE(fs::is_empty(temp.path())) << "every run removes its temporary folder";
}

// The phone is unplugged during a backup, and another during a download: each run ends soon
// after, naming the phone and what it kept.
TEST_F(Everyday, APhoneThatGoesAwayIsNoticed) {
    ztest::VirtualPhone phone(R"({"devices": [
        {"serial": "ZX1G22ABCD000000", "seed": 41, "sizes": {"photos": 30},
         "companionFaults": {"getdcimdata": {"delayMs": 150}}},
        {"serial": "ZX1G22ABCD000001", "seed": 42,
         "companionFaults": {"getdcimdata": {"delayMs": 150}}}]})");
    const int port = phone.adbPort();
    ASSERT_EQ(zentro("prepare", port).status, 0);
    ASSERT_EQ(zentro("-d 1 prepare", port).status, 0);
    json largest;
    for (const auto& item : json::parse(zentro("-d 1 --json photos list", port).out)) {
        if (largest.is_null() || item["size"].get<int64_t>() > largest["size"].get<int64_t>()) largest = item;
    }
    ASSERT_FALSE(largest.is_null());
    const struct {
        std::string args, serial, started, kept;
    } cases[] = {
        {"backup '" + work.file("b") + "'", "ZX1G22ABCD000000", "backing up photos", "backup is incomplete"},
        // Once the first phone is gone, the second is listed first: the serial still names it.
        {"-s ZX1G22ABCD000001 photos pull " + std::to_string(largest["id"].get<int>()) + " '" +
             work.file("p.png") + "'",
         "ZX1G22ABCD000001", "pulling", "kept"},
    };
    for (const auto& c : cases) {
        ztest::Zentro zentro(c.args, place(port));
        ASSERT_TRUE(zentro.waitForError(c.started)) << zentro.err();
        EXPECT_EQ(phone.control("remove " + c.serial), "ok");
        // Far below the minutes the transfers would take, far above the second of polling.
        EXPECT_EQ(zentro.wait(std::chrono::seconds(20)).status, 1) << c.args << "\n" << zentro.err();
        EXPECT_NE(zentro.err().find("phone " + c.serial + " went away"), std::string::npos) << zentro.err();
        EXPECT_NE(zentro.err().find(c.kept), std::string::npos) << zentro.err();
    }
}

} // namespace
