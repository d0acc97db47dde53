// zentro backup, restore and copy against the virtual phone, as a person would run them.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "companion/dataset.h"
#include "formats/backup_formats.h"
#include "test_support.h"
#include "virtual_phone.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

struct ZentroResult {
    int status = -1;
    std::string out, err;
};

std::string zentroCommand(const std::string& args, int port, const std::string& documents,
                          const std::string& outFile, const std::string& errFile) {
    return "ANDROID_ADB_SERVER_PORT=" + std::to_string(port) + " TMPDIR='" + documents +
           "' XDG_DOCUMENTS_DIR='" + documents + "' exec '" + ztest::testBinFolder() + "/zentro' " + args +
           " >'" + outFile + "' 2>'" + errFile + "' </dev/null";
}

ZentroResult zentro(const std::string& args, int port, const std::string& documents) {
    ztest::ScratchFolder scratch;
    const int raw =
        std::system(zentroCommand(args, port, documents, scratch.file("out"), scratch.file("err")).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ztest::readFile(scratch.file("out")),
            ztest::readFile(scratch.file("err"))};
}

constexpr uint32_t kSeed = 4242;
const char* const kSizes =
    R"({"messages": 40, "calls": 15, "events": 8, "contacts": 12, "apps": 3, "photos": 6, "music": 2, "videos": 2})";
const char* const kEmpty =
    R"({"messages": -1, "calls": -1, "events": -1, "contacts": -1, "apps": -1, "photos": -1, "music": -1, "videos": -1})";

std::string scenario(bool withEmptySecond, int adbDelayMs = 0, const char* sizes = kSizes) {
    std::string s = R"({"devices": [{"seed": )" + std::to_string(kSeed) + R"(, "adbDelayMs": )" +
                    std::to_string(adbDelayMs) + R"(, "sizes": )" + sizes + "}";
    if (withEmptySecond) s += R"(, {"seed": 99, "sizes": )" + std::string(kEmpty) + "}";
    return s + "]}";
}

json readJson(const std::string& path) { return json::parse(ztest::readFile(path)); }

// What a phone keeps of each kind when records are added to it: ids, thread ids, the contact a
// message or call points at and the calendar an event sits in are the phone's own.
std::vector<std::string> messagesOf(const std::string& dir) {
    std::vector<std::string> out;
    for (const json& m : readJson(dir + "/messages.json")) {
        out.push_back(m["address"].dump() + m["body"].dump() + m["date"].dump() + m["type"].dump() +
                      m["read"].dump());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> callsOf(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& row : zentro::cli::parseCsv(ztest::readFile(dir + "/calls.csv")))
        out.push_back(row.size() < 6 ? "short row"
                                     : row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4] + "|" + row[5]);
    std::sort(out.begin(), out.end());
    return out;
}

template <class Rows>
std::vector<std::string> withoutIds(const Rows& rows, std::initializer_list<size_t> skip) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        std::string key;
        for (size_t f = 0; f < row.size(); ++f) {
            if (std::find(skip.begin(), skip.end(), f) == skip.end())
                key += (row[f] ? *row[f] : "<none>") + "|";
        }
        out.push_back(key);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> eventsOf(const std::string& dir) {
    return withoutIds(zentro::cli::eventsFromIcs(ztest::readFile(dir + "/calendar.ics")), {0, 1});
}
std::vector<std::string> contactsOf(const std::string& dir) {
    return withoutIds(zentro::cli::contactsFromVCards(ztest::readFile(dir + "/contacts.vcf")), {0});
}

// Every file the manifest names has the recorded size and digest.
void expectManifestTrue(const std::string& dir, const json& manifest) {
    for (const auto& [name, entry] : manifest["files"].items()) {
        const std::string bytes = ztest::readFile(dir + "/" + name);
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), entry["size"].get<int64_t>()) << name;
        EXPECT_EQ(zentro::cli::sha256Hex(bytes), entry["sha256"].get<std::string>()) << name;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().rfind(".partial-", 0), std::string::npos) << entry.path();
}

class Backup : public ::testing::Test {
protected:
    ztest::ScratchFolder documents;
    ztest::ScratchFolder work;
};

TEST_F(Backup, HoldsThePhonesDataSetAndMediaAndASecondRunFetchesNothing) {
    ztest::VirtualPhone phone(scenario(false));
    const int port = phone.adbPort();
    const ZentroResult prepare = zentro("prepare", port, documents.path());
    ASSERT_EQ(prepare.status, 0) << prepare.err;
    const std::string dir = work.file("b");
    ZentroResult first = zentro("--json backup '" + dir + "'", port, documents.path());
    ASSERT_EQ(first.status, 0) << first.err;

    const json manifest = readJson(dir + "/manifest.json");
    EXPECT_TRUE(manifest["complete"].get<bool>());
    EXPECT_TRUE(manifest["missing"].empty());
    EXPECT_FALSE(manifest["phone"]["serial"].get<std::string>().empty());
    EXPECT_EQ(manifest["counts"]["messages"], 40);
    EXPECT_EQ(manifest["counts"]["contacts"], 12);
    expectManifestTrue(dir, manifest);
    for (const char* file : {"messages.json", "messages.csv", "calls.csv", "calendar.ics", "contacts.vcf",
                             "apps.json", "screenshot.png", "index.html", "data.js"})
        EXPECT_TRUE(manifest["files"].contains(file)) << file;
    EXPECT_EQ(ztest::readFile(dir + "/screenshot.png").substr(1, 3), "PNG");

    // The records are the generator's, field by field.
    zsim::DataSizes sizes;
    sizes.messages = 40;
    sizes.calls = 15;
    sizes.events = 8;
    sizes.contacts = 12;
    sizes.apps = 3;
    sizes.photos = 6;
    sizes.music = 2;
    sizes.videos = 2;
    std::vector<std::string> expected;
    for (const auto& m : zsim::companion::generateMessages(kSeed, sizes)) {
        expected.push_back(json(m.address).dump() + json(m.body).dump() + json(m.date).dump() +
                           json(std::to_string(m.type)).dump() + json(std::to_string(m.read)).dump());
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(messagesOf(dir), expected);
    std::vector<std::string> calls = {"name|number|date|type|duration"};
    for (const auto& c : zsim::companion::generateCalls(kSeed, sizes))
        calls.push_back(c.name.value_or("") + "|" + c.number + "|" + c.date + "|" + std::to_string(c.type) +
                        "|" + c.duration);
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(callsOf(dir), calls);
    std::vector<std::string> titles;
    for (const auto& e : zsim::companion::generateEvents(kSeed, sizes))
        titles.push_back(e.title + "@" + e.start);
    std::vector<std::string> backedUp;
    for (const auto& row : zentro::cli::eventsFromIcs(ztest::readFile(dir + "/calendar.ics")))
        backedUp.push_back(*row[2] + "@" + *row[3]);
    std::sort(titles.begin(), titles.end());
    std::sort(backedUp.begin(), backedUp.end());
    EXPECT_EQ(backedUp, titles);

    // Media: the phone's own bytes under the phone's file names.
    zsim::FileTree tree;
    size_t mediaFiles = 0;
    const std::pair<zsim::companion::MediaKind, const char*> kinds[] = {
        {zsim::companion::MediaKind::Photo, "photos"},
        {zsim::companion::MediaKind::Music, "music"},
        {zsim::companion::MediaKind::Video, "videos"}};
    for (const auto& [kind, folder] : kinds) {
        const auto catalogue = zsim::companion::generateMedia(kind, kSeed, sizes, tree);
        for (const auto& item : catalogue.items) {
            const std::string name = kind == zsim::companion::MediaKind::Video && !item.displayName.empty()
                                         ? item.displayName
                                         : fs::path(item.path).filename().string();
            EXPECT_EQ(ztest::readFile(dir + "/" + folder + "/" + name), *tree.read(item.path)) << name;
            ++mediaFiles;
        }
    }
    EXPECT_EQ(mediaFiles, 10u);

    const std::string serial = manifest["phone"]["serial"].get<std::string>();
    phone.clearRequestLog(serial);
    ZentroResult second = zentro("--json backup '" + dir + "'", port, documents.path());
    ASSERT_EQ(second.status, 0) << second.err;
    const json report = json::parse(second.out);
    EXPECT_EQ(report["mediaFetched"], 0);
    EXPECT_EQ(report["mediaKept"], 10);
    // The phone is detected once per run; its later checks ask the adb server's list.
    size_t detections = 0;
    for (const std::string& entry : phone.requestLog(serial))
        detections += entry.find("getprop ro.product.model") != std::string::npos ? 1 : 0;
    EXPECT_EQ(detections, 1u);

    // A damaged file is fetched again.
    ztest::writeFile(dir + "/photos/" + fs::directory_iterator(dir + "/photos")->path().filename().string(),
                     "x");
    ZentroResult third = zentro("--json backup '" + dir + "'", port, documents.path());
    ASSERT_EQ(third.status, 0) << third.err;
    EXPECT_EQ(json::parse(third.out)["mediaKept"], 9);
    expectManifestTrue(dir, readJson(dir + "/manifest.json"));
}

TEST_F(Backup, AnInterruptedBackupSaysWhatIsMissingAndTheNextRunCompletesIt) {
    const char* many =
        R"({"messages": 10, "calls": 3, "events": 2, "contacts": 3, "apps": 1, "photos": 60, "music": 1, "videos": 1})";
    ztest::VirtualPhone phone(scenario(false, 0, many));
    const int port = phone.adbPort();
    ASSERT_EQ(zentro("prepare", port, documents.path()).status, 0);
    const std::string dir = work.file("b");

    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(
            "/bin/sh", "sh", "-c",
            zentroCommand("backup '" + dir + "'", port, documents.path(), work.file("out"), work.file("err"))
                .c_str(),
            static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    // Interrupt once the first photos are in.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto photos = [&] {
        size_t n = 0;
        std::error_code error;
        for (const auto& e : fs::directory_iterator(dir + "/photos", error))
            n += e.path().filename().string().rfind(".partial-", 0) != 0;
        return n;
    };
    while (photos() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(child, SIGINT);
    int raw = 0;
    ::waitpid(child, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 130) << ztest::readFile(work.file("err"));

    const json cut = readJson(dir + "/manifest.json");
    EXPECT_FALSE(cut["complete"].get<bool>());
    ASSERT_FALSE(cut["missing"].empty());
    EXPECT_TRUE(cut["files"].contains("messages.json")) << "what was complete stays";
    expectManifestTrue(dir, cut);
    for (const json& name : cut["missing"]) {
        const std::string file = name.get<std::string>();
        if (file.back() != '/') { // "music/": the whole kind
            EXPECT_FALSE(fs::exists(dir + "/" + file)) << file;
        }
    }

    ZentroResult resumed = zentro("--json backup '" + dir + "'", port, documents.path());
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    const json done = readJson(dir + "/manifest.json");
    EXPECT_TRUE(done["complete"].get<bool>());
    EXPECT_EQ(done["counts"]["photos"], 60);
    EXPECT_GE(json::parse(resumed.out)["mediaKept"].get<int>(), 2);
    expectManifestTrue(dir, done);
}

TEST_F(Backup, RestoreOntoAnEmptyPhoneGivesTheSameBackupAndTwiceAddsNothing) {
    ztest::VirtualPhone phones(scenario(true));
    const int port = phones.adbPort();
    ASSERT_EQ(zentro("prepare", port, documents.path()).status, 0);
    ASSERT_EQ(zentro("-d 1 prepare", port, documents.path()).status, 0);
    const std::string a = work.file("a"), b = work.file("b");
    ASSERT_EQ(zentro("backup '" + a + "'", port, documents.path()).status, 0);

    const std::string second = "ZX1G22ABCD000001";
    phones.clearRequestLog(second);
    ZentroResult restore = zentro("--json -d 1 restore '" + a + "'", port, documents.path());
    ASSERT_EQ(restore.status, 0) << restore.err;
    const json added = json::parse(restore.out);
    EXPECT_EQ(added["messages"]["added"], 40);
    EXPECT_EQ(added["contacts"]["added"], 12);

    // The messaging role was taken for the messages and handed back after them.
    size_t set = 0, reset = 0;
    for (const std::string& entry : phones.requestLog(second)) {
        if (entry.find("ReSetDefaultMessage") != std::string::npos)
            ++reset;
        else if (entry.find("SetDefaultMessage") != std::string::npos)
            ++set;
    }
    EXPECT_EQ(set, 1u);
    EXPECT_EQ(reset, 1u);

    ASSERT_EQ(zentro("-d 1 backup '" + b + "'", port, documents.path()).status, 0);
    EXPECT_EQ(messagesOf(b), messagesOf(a));
    EXPECT_EQ(callsOf(b), callsOf(a));
    EXPECT_EQ(eventsOf(b), eventsOf(a));
    EXPECT_EQ(contactsOf(b), contactsOf(a));
    size_t mediaFiles = 0;
    for (const char* folder : {"photos", "music", "videos"}) {
        for (const auto& entry : fs::directory_iterator(a + "/" + folder)) {
            const std::string name = std::string(folder) + "/" + entry.path().filename().string();
            EXPECT_EQ(ztest::readFile(b + "/" + name), ztest::readFile(entry.path().string())) << name;
            ++mediaFiles;
        }
    }
    EXPECT_EQ(mediaFiles, 10u);
    EXPECT_EQ(added["photos"]["added"], 6);

    ZentroResult again = zentro("--json -d 1 restore '" + a + "'", port, documents.path());
    ASSERT_EQ(again.status, 0) << again.err;
    const json secondTally = json::parse(again.out);
    for (const auto& [kind, tally] : secondTally.items()) EXPECT_EQ(tally["added"], 0) << kind;
    EXPECT_EQ(json::parse(again.out)["messages"]["skipped"], 40);

    EXPECT_EQ(zentro("restore '" + work.file("nothing") + "'", port, documents.path()).status, 2);
}

TEST_F(Backup, CopyBetweenTwoPhonesAddsWhatTheDestinationLacksOnce) {
    ztest::VirtualPhone phones(scenario(true));
    const int port = phones.adbPort();
    ASSERT_EQ(zentro("prepare", port, documents.path()).status, 0);
    ASSERT_EQ(zentro("-d 1 prepare", port, documents.path()).status, 0);
    const ZentroResult copy = zentro("copy --from 0 --to 1", port, documents.path());
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_NE(copy.out.find("music     2 copied"), std::string::npos) << copy.out;
    EXPECT_NE(copy.err.find("copying videos"), std::string::npos) << "one bar per kind";

    const std::string a = work.file("a"), b = work.file("b");
    ASSERT_EQ(zentro("backup '" + a + "'", port, documents.path()).status, 0);
    ASSERT_EQ(zentro("-d 1 backup '" + b + "'", port, documents.path()).status, 0);
    EXPECT_EQ(contactsOf(b), contactsOf(a));
    EXPECT_EQ(eventsOf(b), eventsOf(a));
    EXPECT_EQ(callsOf(b), callsOf(a));
    for (const char* folder : {"photos", "music", "videos"}) {
        for (const auto& entry : fs::directory_iterator(a + "/" + folder)) {
            const std::string name = std::string(folder) + "/" + entry.path().filename().string();
            EXPECT_EQ(ztest::readFile(b + "/" + name), ztest::readFile(entry.path().string())) << name;
        }
    }

    const ZentroResult again = zentro("copy --from 0 --to 1 --what contacts,music", port, documents.path());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("contacts  0 copied, 12 already there"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("music     0 copied, 2 already there"), std::string::npos) << again.out;
    EXPECT_EQ(zentro("copy --from 0 --to 0", port, documents.path()).status, 2);
    EXPECT_EQ(zentro("copy --from 0 --to 1 --what sms", port, documents.path()).status, 2);
}

TEST_F(Backup, ThePageShowsConversationsAndContactsInAHeadlessBrowser) {
    if (::access("/usr/bin/chromium", X_OK) != 0)
        GTEST_SKIP() << "chromium is not installed (scripts/setup-deps)";
    ztest::VirtualPhone phone(scenario(false));
    const int port = phone.adbPort();
    ASSERT_EQ(zentro("prepare", port, documents.path()).status, 0);
    const std::string dir = work.file("b");
    ASSERT_EQ(zentro("backup '" + dir + "'", port, documents.path()).status, 0);

    const std::string profile = work.file("profile");
    fs::create_directories(profile);
    const std::string flags =
        "--headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking "
        "--disable-component-update --disable-sync --user-data-dir='" +
        profile + "' ";
    const std::string dom = work.file("dom.html");
    ASSERT_EQ(std::system(("timeout 120 chromium " + flags + "--dump-dom 'file://" + dir + "/index.html' >'" +
                           dom + "' 2>/dev/null")
                              .c_str()),
              0);
    const std::string page = ztest::readFile(dom);
    size_t conversations = 0;
    for (size_t at = page.find("row conversation"); at != std::string::npos;
         at = page.find("row conversation", at + 1))
        ++conversations;
    EXPECT_GT(conversations, 0u) << page.substr(0, 2000);
    const json first = json::parse(ztest::readFile(dir + "/messages.json"))[0];
    EXPECT_NE(page.find(first["address"].get<std::string>()), std::string::npos);
    for (const auto& contact : zentro::cli::contactsFromVCards(ztest::readFile(dir + "/contacts.vcf"))) {
        if (contact[1]) {
            EXPECT_NE(page.find(*contact[1]), std::string::npos) << *contact[1];
        }
    }
    const std::string shot = work.file("shot.png");
    ASSERT_EQ(std::system(("cd '" + work.path() + "' && timeout 120 chromium " + flags + "--screenshot='" +
                           shot + "' --window-size=1200,800 'file://" + dir + "/index.html' >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_EQ(ztest::readFile(shot).substr(1, 3), "PNG");
}

} // namespace
