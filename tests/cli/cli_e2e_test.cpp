// The zentro host driven as a person would: a child process against the virtual phone.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "reference_phone.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentro_runner.h"

namespace {

const char* const kOnePhone = R"({"devices": [{"serial": "ZX1G22ABCD000000"}]})";

using ztest::ZentroRun;

using Cli = ztest::ZentroTest;

TEST_F(Cli, UsageErrorsHelpAndAnotherAdbServerHaveTheirExitCodes) {
    // Refused before any phone is asked: no adb server listens on port 1.
    const struct {
        std::string args;
        int status;
        const char* says;
    } table[] = {
        {"", 2, "a command is required; one of:\n  devices"},
        {"--version", 0, "zentro 0."},
        {"devcies", 2, "unknown command 'devcies'; did you mean 'devices'?"},
        {"--json sms lsit", 2, "did you mean 'list'?"},
        {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"-d 12 info", 2, "-d"},
        {"photos pull", 2, "ID"},
        {"photos pull notanumber", 2, "ID"},
        {"music copy 3 --to 10", 2, "--to"},
        {"pair --timeout -5", 2, "from 0 (wait until Ctrl-C) to 86400"},
        {"pair '" + documents.file("missing") + "/p.bmp'", 2, "there is no folder"},
        {"calls add 555 --date yesterday", 2, "--date: 'yesterday' is not a date"},
        {"calendar add X --start tomorrow --end 2026-12-08", 2, "--start: 'tomorrow' is not a date"},
        {"calendar add X --start 2026-02-30 --end 2026-03-01", 2, "no day 30"},
        {"calendar add X --start 2026-12-08T10:00 --end '2026-12-08 09:00'", 2, "must come after --start"},
        {"calendar add X --start 2026-12-08T10:00 --end 2026-12-08T10:00", 2, "must come after --start"},
    };
    for (const auto& row : table) {
        const ZentroRun run = zentro(row.args, 1);
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.err;
        EXPECT_NE((run.out + run.err).find(row.says), std::string::npos) << row.args << "\n"
                                                                         << run.out << run.err;
        EXPECT_LT(run.err.size(), 2000u) << row.args << ": one message, not a page";
        EXPECT_EQ(run.out.find("Unable to open"), std::string::npos) << row.args << ": " << run.out;
    }
    ZentroRun help = zentro("--help", 1);
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"devices", "info", "prepare", "screenshot", "sms", "calls", "calendar",
                                "contacts", "apps", "photos", "music", "videos", "pair", "demo"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    for (const char* command : {"devices", "screenshot", "sms send", "calendar list", "apps install",
                                "photos pull", "music copy", "videos delete", "demo"}) {
        ZentroRun sub = zentro(std::string(command) + " --help", 1);
        EXPECT_EQ(sub.status, 0) << command;
        for (const char* shown : {"Usage:", "-d,--device", "--json", "--verbose"})
            EXPECT_NE(sub.out.find(shown), std::string::npos) << command << " " << shown << "\n" << sub.out;
    }

    // An adb server of another version is named, with the way out.
    ztest::VirtualPhone phone(R"({"adbServerVersion": 32, "devices": []})");
    ZentroRun run = zentro("info", phone.adbPort());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("another version (32"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("adb kill-server"), std::string::npos) << run.err;
}

TEST_F(Cli, PreparedPhoneTakesRecordsThatReadBackWithLocalDatesAndScreenshots) {
    ztest::VirtualPhone phone(kOnePhone);
    const int port = phone.adbPort();
    ZentroRun before = zentro("--json info", port);
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(nlohmann::json::parse(before.out)["prepared"], false);

    ZentroRun prepare = zentro("prepare", port);
    ASSERT_EQ(prepare.status, 0) << prepare.err;
    EXPECT_NE(prepare.err.find("preparing: 100%"), std::string::npos) << prepare.err;
    EXPECT_EQ(nlohmann::json::parse(zentro("--json info", port).out)["prepared"], true);

    const struct {
        std::string args;
        const char* says;
    } changes[] = {
        {"calls add 5550100 --date '2026-12-01 09:30' --type 2 --duration 42",
         "added outgoing call to 5550100 on 2026-12-01 09:30:00 (42 s)"},
        {"calendar clear --yes", "deleted every calendar event on phone 0"},
        {"calendar add Dentist --start 2026-12-08T10:00 --end '2026-12-08 11:30'",
         "added event 'Dentist' from 2026-12-08 10:00 to 2026-12-08 11:30"},
        {"contacts add Ann +15550123", "added contact 'Ann' (+15550123) with id "},
        {"sms send 5550199 'see you'", "sent message to 5550199 from phone 0"},
    };
    for (const auto& row : changes) {
        const ZentroRun run = zentro(row.args, port);
        EXPECT_EQ(run.status, 0) << row.args << "\n" << run.err;
        EXPECT_NE(run.out.find(row.says), std::string::npos) << row.args << "\n" << run.out;
    }

    const auto calls = nlohmann::json::parse(zentro("--json calls list", port).out);
    auto added =
        std::find_if(calls.begin(), calls.end(), [](const auto& c) { return c["number"] == "5550100"; });
    ASSERT_NE(added, calls.end());
    EXPECT_EQ((*added)["date"], "2026-12-01 09:30:00") << "kept as the phone keeps call dates";
    EXPECT_EQ((*added)["dateIso"].get<std::string>().rfind("2026-12-01T09:30:00", 0), 0u) << *added;

    const ZentroRun table = zentro("calendar list", port);
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("2026-12-08 10:00 Dentist"), std::string::npos) << table.out;
    EXPECT_NE(table.err.find("1 event\n"), std::string::npos) << table.err;
    const auto events = nlohmann::json::parse(zentro("--json calendar list", port).out);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::stoll(events[0]["end"].get<std::string>()) -
                  std::stoll(events[0]["start"].get<std::string>()),
              90 * 60 * 1000)
        << "the raw milliseconds stay";
    EXPECT_EQ(events[0]["startIso"].get<std::string>().rfind("2026-12-08T10:00:00", 0), 0u) << events[0];

    const auto messages = nlohmann::json::parse(zentro("--json sms list", port).out);
    auto sent = std::find_if(messages.begin(), messages.end(),
                             [](const auto& m) { return m["address"] == "5550199"; });
    ASSERT_NE(sent, messages.end());
    EXPECT_EQ((*sent)["body"], "see you");
    EXPECT_EQ((*sent)["type"], "2") << "kept as sent, not received";
    for (size_t i = 1; i < messages.size(); ++i)
        EXPECT_GE(messages[i - 1]["date"].get<std::string>(), messages[i]["date"].get<std::string>())
            << "newest first";
    ZentroRun threads = zentro("--json sms threads", port);
    ASSERT_EQ(threads.status, 0) << threads.err;
    size_t grouped = 0;
    for (const auto& thread : nlohmann::json::parse(threads.out)) grouped += thread["messages"].get<size_t>();
    EXPECT_EQ(grouped, messages.size());
    EXPECT_EQ(zentro("calls export '" + documents.file("calls.txt") + "'", port).status, 2);
    EXPECT_EQ(zentro("sms clear", port).status, 2) << "a clear needs --yes";

    // Every field a contact has, set one by one and read back where the list shows it.
    auto people = nlohmann::json::parse(zentro("--json contacts list", port).out);
    auto ann =
        std::find_if(people.begin(), people.end(), [](const auto& p) { return p["mobile"] == "+15550123"; });
    ASSERT_NE(ann, people.end());
    const std::string id = (*ann)["id"];
    const char* const fields[] = {"nickname", "homePhone", "workPhone",    "website",     "homeEmail",
                                  "birthday", "note",      "organization", "homeAddress", "workAddress",
                                  "homeFax",  "workFax",   "workEmail",    "mobile"};
    for (const char* field : fields) {
        const ZentroRun set = zentro("contacts set " + id + " " + field + " v-" + field, port);
        EXPECT_EQ(set.status, 0) << field << ": " << set.err;
    }
    EXPECT_EQ(zentro("contacts set " + id + " reserved14 x", port).status, 2);
    people = nlohmann::json::parse(zentro("--json contacts list", port).out);
    ann = std::find_if(people.begin(), people.end(), [&](const auto& p) { return p["id"] == id; });
    ASSERT_NE(ann, people.end());
    for (const char* field : fields) EXPECT_EQ((*ann)[field], std::string("v-") + field) << field;
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0]["dateIso"].get<std::string>().substr(0, 10),
              messages[0]["date"].get<std::string>().substr(0, 10));

    const std::string png = documents.file("screen.png");
    ASSERT_EQ(zentro("screenshot '" + png + "'", port).status, 0);
    EXPECT_EQ(ztest::readFile(png).substr(0, 4), "\x89PNG");
    // Onto an existing file only with --force; into a folder under a name of its own, numbered.
    ztest::writeFile(png, "mine");
    EXPECT_EQ(zentro("screenshot '" + png + "'", port).status, 2);
    EXPECT_EQ(ztest::readFile(png), "mine");
    EXPECT_EQ(zentro("screenshot --force '" + png + "'", port).status, 0);
    EXPECT_EQ(ztest::readFile(png).substr(0, 4), "\x89PNG");
    const std::string shots = documents.file("shots");
    ASSERT_EQ(::mkdir(shots.c_str(), 0755), 0);
    for (const char* name : {"/screenshot.png", "/screenshot (2).png"}) {
        ZentroRun shot = zentro("screenshot shots", port, documents.path());
        EXPECT_EQ(shot.status, 0) << shot.err;
        EXPECT_EQ(ztest::readFile(shots + name).substr(0, 4), "\x89PNG") << name;
    }
}

// Phone 1 sends nothing of a file it is asked to read in chunks or to export to another phone.
TEST_F(Cli, ListsMatchThePhoneMediaIsByteIdenticalAndTransfersThatEndShortFail) {
    ztest::VirtualPhone phone(R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 41},
        {"serial": "ZX1G22ABCD000001", "seed": 42, "companionFaults":
        {"getdcimdata": {"kind": "Empty"}, "exportfilefromdevice_music": {"kind": "Empty"}}}]})");
    const int port = phone.adbPort();
    ztest::ReferencePhone reference("ZX1G22ABCD000000", 41);
    ASSERT_EQ(zentro("prepare", port).status, 0);
    ASSERT_EQ(zentro("-d 1 prepare", port).status, 0);
    auto list = [&](const std::string& args) {
        ZentroRun run = zentro("--json " + args, port);
        EXPECT_EQ(run.status, 0) << args << ": " << run.err;
        return nlohmann::json::parse(run.out.empty() ? "[]" : run.out);
    };
    EXPECT_EQ(list("sms list").size(), static_cast<size_t>(reference.count("getsmsCount;")));
    // prepare installed the companion app on the phone; the reference never was prepared.
    EXPECT_EQ(list("apps list --system").size(), static_cast<size_t>(reference.count("getappcount;")) + 1);

    // Every kind pulls in chunks, whatever the connection: the phone's own bytes.
    const std::string dest = documents.file("pulled");
    ASSERT_EQ(::mkdir(dest.c_str(), 0755), 0);
    for (const auto& [family, count] : {std::pair<std::string, std::string>{"photos", "getdcimcount;"},
                                        {"music", "getmusiccount;"},
                                        {"videos", "getvideocount;"}}) {
        const auto items = list(family + " list");
        ASSERT_EQ(items.size(), static_cast<size_t>(reference.count(count))) << family;
        ASSERT_FALSE(items.empty()) << family;
        const auto& item = items.back();
        ZentroRun pull = zentro(
            "--json " + family + " pull " + std::to_string(item["id"].get<int>()) + " '" + dest + "'", port);
        ASSERT_EQ(pull.status, 0) << pull.err;
        const std::string file = nlohmann::json::parse(pull.out)["file"];
        const std::string bytes = ztest::readFile(file);
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), item["size"].get<int64_t>()) << family;
        EXPECT_TRUE(bytes == reference.fileAt(item["path"])) << family << " " << file;
    }

    const std::string local = documents.file("upload.png");
    const std::string content = std::string(70000, 'x') + "tail";
    ztest::writeFile(local, content);
    for (int round = 0; round < 2; ++round) { // the second finds the name taken
        ZentroRun push = zentro("--json photos push '" + local + "' --name pushed.png", port);
        ASSERT_EQ(push.status, 0) << push.err;
        const auto pushed = nlohmann::json::parse(push.out);
        EXPECT_EQ(pushed["size"].get<int64_t>(), static_cast<int64_t>(content.size()));
        EXPECT_NE(pushed["path"].get<std::string>().find("pushed"), std::string::npos);
        const std::string back = documents.file("back" + std::to_string(round) + ".png");
        ASSERT_EQ(
            zentro("photos pull " + std::to_string(pushed["id"].get<int>()) + " '" + back + "'", port).status,
            0);
        EXPECT_TRUE(ztest::readFile(back) == content);
    }
    EXPECT_EQ(zentro("photos push '" + documents.file("absent.png") + "'", port).status, 2);

    // Pulled from a working folder of its own: under the phone's name there, numbered when that
    // is taken; onto a file only with --force; a second id is not taken for a file name.
    const std::string work = documents.file("work");
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    const auto listed = list("photos list");
    const auto& photo = listed[0];
    const std::string id = std::to_string(photo["id"].get<int>()), name = photo["path"];
    const std::string stem = name.substr(name.rfind('/') + 1, name.rfind('.') - name.rfind('/') - 1);
    for (const std::string& expected : {stem + ".png", stem + " (2).png"}) {
        ZentroRun pull = zentro("photos pull " + id, port, work);
        EXPECT_EQ(pull.status, 0) << pull.err;
        EXPECT_TRUE(ztest::readFile(work + "/" + expected) == reference.fileAt(photo["path"])) << expected;
    }
    ZentroRun secondId = zentro("photos pull " + id + " 2", port, work);
    EXPECT_EQ(secondId.status, 2);
    EXPECT_NE(secondId.err.find("one id"), std::string::npos) << secondId.err;
    EXPECT_FALSE(ztest::fileExists(work + "/2"));
    ztest::writeFile(work + "/mine.png", "mine");
    EXPECT_EQ(zentro("photos pull " + id + " mine.png", port, work).status, 2);
    EXPECT_EQ(ztest::readFile(work + "/mine.png"), "mine");
    EXPECT_EQ(zentro("photos pull " + id + " mine.png --force", port, work).status, 0);
    EXPECT_TRUE(ztest::readFile(work + "/mine.png") == reference.fileAt(photo["path"]));

    const auto photos = list("photos list");
    const int doomed = photos[0]["id"];
    EXPECT_EQ(zentro("photos delete " + std::to_string(doomed), port).status, 0);
    const auto after = list("photos list");
    EXPECT_EQ(after.size() + 1, photos.size());
    for (const auto& item : after) EXPECT_NE(item["id"].get<int>(), doomed);
    ZentroRun missing = zentro("photos delete " + std::to_string(doomed), port);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such id"), std::string::npos) << missing.err;
    EXPECT_EQ(zentro("photos pull 999999", port).status, 1);

    // Media copies to the other phone, music straight from phone to phone.
    const auto tracks = list("music list");
    ASSERT_FALSE(tracks.empty());
    const auto& track = tracks[0];
    ZentroRun copy =
        zentro("music copy " + std::to_string(track["id"].get<int>()) + " --to 1 --name copied.mp3", port);
    ASSERT_EQ(copy.status, 0) << copy.err;
    const auto there = list("-d 1 music list");
    const auto copiedTrack = std::find_if(there.begin(), there.end(), [](const auto& item) {
        return item["path"].template get<std::string>().ends_with("copied.mp3");
    });
    ASSERT_NE(copiedTrack, there.end()) << there.dump();
    EXPECT_EQ((*copiedTrack)["size"], track["size"]);

    // Photos have no phone-to-phone export: they go through this computer.
    const auto mine = list("photos list");
    ASSERT_FALSE(mine.empty());
    ZentroRun through = zentro(
        "photos copy " + std::to_string(mine[0]["id"].get<int>()) + " --to 1 --name through.png", port);
    ASSERT_EQ(through.status, 0) << through.err;
    EXPECT_NE(through.out.find("copied photo"), std::string::npos) << through.out;
    const auto arrived = list("-d 1 photos list");
    auto copied = std::find_if(arrived.begin(), arrived.end(), [](const auto& item) {
        return item["path"].template get<std::string>().find("through") != std::string::npos;
    });
    ASSERT_NE(copied, arrived.end()) << arrived.dump();
    EXPECT_EQ((*copied)["size"], mine[0]["size"]);
    for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
        EXPECT_NE(entry.path().filename().string().rfind("zentro-copy-", 0), 0u)
            << "left behind: " << entry.path();
    EXPECT_EQ(zentro("music copy 1 --to 0", port).status, 2);

    // A pull or a copy that ends short fails, and leaves nothing under the name.
    const auto shortPhotos = list("-d 1 photos list");
    const auto shortTracks = list("-d 1 music list");
    ASSERT_FALSE(shortPhotos.empty());
    ASSERT_FALSE(shortTracks.empty());
    const std::string target = documents.file("short.png");
    const ZentroRun pull = zentro("-d 1 photos pull " + std::to_string(shortPhotos.back()["id"].get<int>()) +
                                      " '" + target + "'",
                                  port);
    EXPECT_EQ(pull.status, 1) << pull.err;
    EXPECT_FALSE(ztest::fileExists(target));
    const ZentroRun shortCopy =
        zentro("-d 1 music copy " + std::to_string(shortTracks[0]["id"].get<int>()) + " --to 0", port);
    EXPECT_EQ(shortCopy.status, 1) << shortCopy.err;
}

TEST_F(Cli, CtrlCEndsARefreshAndATransferWithStatus130) {
    // A slow phone: every message page and every photo chunk takes a while.
    ztest::VirtualPhone phone(R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 41,
        "sizes": {"messages": 3000},
        "companionFaults": {"getsmsPart10": {"delayMs": 20}, "getdcimdata": {"delayMs": 150}}}]})");
    const int port = phone.adbPort();
    ASSERT_EQ(zentro("prepare", port).status, 0);
    const auto photos = nlohmann::json::parse(zentro("--json photos list", port).out);
    ASSERT_FALSE(photos.empty());
    auto largest = photos[0];
    for (const auto& item : photos) {
        if (item["size"].get<int64_t>() > largest["size"].get<int64_t>()) largest = item;
    }
    ASSERT_GT(largest["size"].get<int64_t>(), 4 * 4096) << "a photo of several chunks";
    const std::string target = documents.file("photo.png");
    // Each stops after the message page or the photo chunk it is on.
    const struct {
        std::string args;
        const char *started, *says;
        int runMs;
    } runs[] = {{"sms list", "reading messages", "interrupted", 300},
                {"photos pull " + std::to_string(largest["id"].get<int>()) + " '" + target + "'", "pulling",
                 "kept", 400}};
    for (const auto& r : runs) {
        ztest::Zentro run(r.args, place(port));
        ASSERT_TRUE(run.waitForError(r.started)) << run.err();
        std::this_thread::sleep_for(std::chrono::milliseconds(r.runMs));
        const auto [status, seconds] = run.interrupt();
        EXPECT_EQ(status, 130) << run.err();
        EXPECT_GE(seconds, 0.0);
        EXPECT_LT(seconds, 2.0) << r.args;
        EXPECT_NE(run.err().find(r.says), std::string::npos) << run.err();
    }
    EXPECT_FALSE(ztest::fileExists(target)) << "a short file never stands under the name";
    const std::string partial = ztest::readFile(target + ".partial");
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(static_cast<int64_t>(partial.size()), largest["size"].get<int64_t>());
}

TEST_F(Cli, DemoRunsEndToEndAndLeavesNothingRunning) {
    // From a working folder of its own, into its default folder there.
    const std::string work = documents.file("work"), out = work + "/zentro-demo";
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    ZentroRun demo = zentro("demo", 1, work);
    ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
    size_t at = 0;
    for (const char* section :
         {"== 1. Detect", "== 2. Prepare", "== 3. What is on it", "== 4. Latest conversations",
          "== 5. Contacts", "== 6. Calendar", "== 7. Applications", "== 8. Download", "== 9. Upload",
          "== 10. Take a screenshot", "== Stop the phone", "== Where everything went"}) {
        const size_t found = demo.out.find(section, at);
        EXPECT_NE(found, std::string::npos) << section << "\n" << demo.out;
        if (found != std::string::npos) at = found;
    }
    EXPECT_EQ((demo.out + demo.err).find('\033'), std::string::npos) << "no terminal codes into a pipe";
    int now = 0, before = 0;
    const size_t lists = demo.out.find("the phone now lists ");
    ASSERT_NE(lists, std::string::npos);
    ASSERT_EQ(
        std::sscanf(demo.out.c_str() + lists, "the phone now lists %d photos (%d before)", &now, &before), 2);
    EXPECT_EQ(now, before + 1) << "the upload is listed";
    EXPECT_EQ(ztest::readFile(out + "/screenshot.png").substr(0, 4), "\x89PNG");

    // The phone's adb server is gone once the demo has ended.
    const size_t said = demo.out.find("listens on 127.0.0.1:");
    ASSERT_NE(said, std::string::npos);
    const int port = std::atoi(demo.out.c_str() + said + std::strlen("listens on 127.0.0.1:"));
    ASSERT_GT(port, 0);
    zentro::platform::socketLibraryStart();
    EXPECT_EQ(zentro::platform::tcpConnect("127.0.0.1", static_cast<uint16_t>(port), {}), 0);
}

} // namespace
