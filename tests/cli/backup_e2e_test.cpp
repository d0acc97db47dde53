// zentro backup, restore and copy against the virtual phone, as a person would run them.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "companion/dataset.h"
#include "formats/backup_formats.h"
#include "scenario.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentro_runner.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

using ZentroResult = ztest::ZentroRun;

constexpr uint32_t kSeed = 4242;
const char* const kSizes =
    R"({"messages": 40, "calls": 15, "events": 8, "contacts": 12, "apps": 3, "photos": 6, "music": 2, "videos": 2})";
const char* const kEmpty =
    R"({"messages": -1, "calls": -1, "events": -1, "contacts": -1, "apps": -1, "photos": -1, "music": -1, "videos": -1})";

// Phone 0 from kSeed; a second phone, when `second` names its sizes.
std::string scenario(const char* sizes = kSizes, const char* second = nullptr) {
    std::string s = R"({"devices": [{"seed": )" + std::to_string(kSeed) + R"(, "sizes": )" + sizes + "}";
    if (second != nullptr) s += R"(, {"seed": 99, "sizes": )" + std::string(second) + "}";
    return s + "]}";
}

json readJson(const std::string& path) { return json::parse(ztest::readFile(path)); }

// Records compared as sets: a phone keeps them in an order of its own.
std::vector<std::string> sorted(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    return keys;
}

// What a phone keeps of each kind when records are added to it: ids, thread ids, the contact a
// message or call points at and the calendar an event sits in are the phone's own.
std::vector<std::string> messagesOf(const std::string& dir) {
    std::vector<std::string> out;
    for (const json& m : readJson(dir + "/messages.json")) {
        out.push_back(m["address"].dump() + m["body"].dump() + m["date"].dump() + m["type"].dump() +
                      m["read"].dump());
    }
    return sorted(out);
}

std::vector<std::string> callsOf(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& row : zentro::cli::parseCsv(ztest::readFile(dir + "/calls.csv")))
        out.push_back(row.size() < 6 ? "short row"
                                     : row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4] + "|" + row[5]);
    return sorted(out);
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
    return sorted(out);
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

// The digests of each kind's media in a backup, sorted: the same bytes whatever the file names.
std::map<std::string, std::vector<std::string>> mediaDigests(const std::string& dir) {
    std::map<std::string, std::vector<std::string>> out;
    const json manifest = readJson(dir + "/manifest.json");
    for (const auto& [kind, entries] : manifest["media"].items()) {
        for (const json& entry : entries) out[kind].push_back(entry["sha256"]);
        std::sort(out[kind].begin(), out[kind].end());
    }
    return out;
}

using Backup = ztest::ZentroTest;

TEST_F(Backup, HoldsThePhonesDataSetAndMediaASecondRunFetchesNothingAndCopiesGoOnce) {
    ztest::VirtualPhone phone(scenario(kSizes, kEmpty));
    const int port = phone.adbPort();
    const ZentroResult prepare = zentro("prepare", port);
    ASSERT_EQ(prepare.status, 0) << prepare.err;
    const std::string dir = work.file("b");
    ZentroResult first = zentro("--json backup '" + dir + "'", port);
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
    zsim::Scenario generated;
    std::string error;
    ASSERT_TRUE(zsim::loadScenario(scenario(), 0, 0, generated, error)) << error;
    const zsim::DataSizes sizes = generated.devices.at(0)->sizes;
    std::vector<std::string> expected;
    for (const auto& m : zsim::companion::generateMessages(kSeed, sizes)) {
        expected.push_back(json(m.address).dump() + json(m.body).dump() + json(m.date).dump() +
                           json(std::to_string(m.type)).dump() + json(std::to_string(m.read)).dump());
    }
    EXPECT_EQ(messagesOf(dir), sorted(expected));
    std::vector<std::string> calls = {"name|number|date|type|duration"};
    for (const auto& c : zsim::companion::generateCalls(kSeed, sizes))
        calls.push_back(c.name.value_or("") + "|" + c.number + "|" + c.date + "|" + std::to_string(c.type) +
                        "|" + c.duration);
    EXPECT_EQ(callsOf(dir), sorted(calls));
    std::vector<std::string> titles;
    for (const auto& e : zsim::companion::generateEvents(kSeed, sizes))
        titles.push_back(e.title + "@" + e.start);
    std::vector<std::string> backedUp;
    for (const auto& row : zentro::cli::eventsFromIcs(ztest::readFile(dir + "/calendar.ics")))
        backedUp.push_back(*row[2] + "@" + *row[3]);
    EXPECT_EQ(sorted(backedUp), sorted(titles));

    // Media: the phone's own bytes, each item in a file of its own under the phone's folders.
    zsim::FileTree tree;
    size_t mediaFiles = 0;
    const std::pair<zsim::companion::MediaKind, const char*> kinds[] = {
        {zsim::companion::MediaKind::Photo, "photos"},
        {zsim::companion::MediaKind::Music, "music"},
        {zsim::companion::MediaKind::Video, "videos"}};
    for (const auto& [kind, folder] : kinds) {
        std::map<int64_t, std::string> fileOf;
        for (const json& entry : manifest["media"][folder]) fileOf[entry["id"]] = entry["file"];
        for (const auto& item : zsim::companion::generateMedia(kind, kSeed, sizes, tree).items) {
            const std::string file = fileOf[item.id];
            EXPECT_EQ(file, folder + item.path.substr(std::string("/sdcard").size())) << "phone folders kept";
            EXPECT_EQ(ztest::readFile(dir + "/" + file), *tree.read(item.path)) << file;
            ++mediaFiles;
        }
    }
    EXPECT_EQ(mediaFiles, 10u);

    const std::string serial = manifest["phone"]["serial"].get<std::string>();
    phone.clearRequestLog(serial);
    ZentroResult second = zentro("--json backup '" + dir + "'", port);
    ASSERT_EQ(second.status, 0) << second.err;
    const json report = json::parse(second.out);
    EXPECT_EQ(report["mediaFetched"], 0);
    EXPECT_EQ(report["mediaKept"], 10);
    EXPECT_EQ(report["mediaReadBack"], 0) << "files untouched since the last backup are not read";
    // A kept thumbnail still says which phone item it shows, or the next run would fetch it again.
    size_t thumbs = 0;
    const json kept = readJson(dir + "/manifest.json");
    for (const auto& [name, entry] : kept["files"].items()) {
        if (name.rfind("thumbs/", 0) != 0) continue;
        ++thumbs;
        EXPECT_TRUE(entry.contains("phone")) << name;
    }
    EXPECT_GT(thumbs, 0u);
    // The phone is detected once per run; its later checks ask the adb server's list.
    size_t detections = 0;
    for (const std::string& entry : phone.requestLog(serial))
        detections += entry.find("getprop ro.product.model") != std::string::npos ? 1 : 0;
    EXPECT_EQ(detections, 1u);

    // A damaged file is fetched again, even one that kept its size.
    const std::string damaged = dir + "/" + manifest["media"]["photos"][0]["file"].get<std::string>();
    const std::string bytes = ztest::readFile(damaged);
    ztest::writeFile(damaged, std::string(bytes.size(), 'x'));
    ZentroResult third = zentro("--json backup '" + dir + "'", port);
    ASSERT_EQ(third.status, 0) << third.err;
    EXPECT_EQ(json::parse(third.out)["mediaKept"], 9);
    EXPECT_EQ(json::parse(third.out)["mediaReadBack"], 1);
    EXPECT_TRUE(ztest::readFile(damaged) == bytes);
    expectManifestTrue(dir, readJson(dir + "/manifest.json"));

    // A hand-edited manifest whose entry has fields of the wrong type costs that file's fetch only.
    json edited = readJson(dir + "/manifest.json");
    const std::string damagedName = manifest["media"]["photos"][0]["file"];
    edited["files"][damagedName]["phone"] = 7;
    edited["files"][damagedName]["size"] = "big";
    ztest::writeFile(dir + "/manifest.json", edited.dump());
    ZentroResult fourth = zentro("--json backup '" + dir + "'", port);
    ASSERT_EQ(fourth.status, 0) << fourth.err;
    EXPECT_EQ(json::parse(fourth.out)["mediaKept"], 9);

    // A copy to the empty second phone adds what it lacks, once.
    ASSERT_EQ(zentro("-d 1 prepare", port).status, 0);
    const ZentroResult copy = zentro("copy --from 0 --to 1", port);
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_NE(copy.out.find("music     2 copied"), std::string::npos) << copy.out;
    EXPECT_NE(copy.err.find("copying videos"), std::string::npos) << "one bar per kind";
    const std::string copied = work.file("copied");
    ASSERT_EQ(zentro("-d 1 backup '" + copied + "'", port).status, 0);
    EXPECT_EQ(contactsOf(copied), contactsOf(dir));
    EXPECT_EQ(eventsOf(copied), eventsOf(dir));
    EXPECT_EQ(callsOf(copied), callsOf(dir));
    EXPECT_EQ(mediaDigests(copied), mediaDigests(dir));
    const ZentroResult again = zentro("copy --from 0 --to 1 --what contacts,music", port);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("contacts  0 copied, 12 already there"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("music     0 copied, 2 already there"), std::string::npos) << again.out;
    EXPECT_EQ(zentro("copy --from 0 --to 0", port).status, 2);
    EXPECT_EQ(zentro("copy --from 0 --to 1 --what sms", port).status, 2);
}

TEST_F(Backup, AnInterruptedBackupSaysWhatIsMissingAndTheNextRunCompletesIt) {
    const char* many =
        R"({"messages": 10, "calls": 3, "events": 2, "contacts": 3, "apps": 1, "photos": 60, "music": 1, "videos": 1})";
    ztest::VirtualPhone phone(scenario(many));
    const int port = phone.adbPort();
    ASSERT_EQ(zentro("prepare", port).status, 0);
    const std::string dir = work.file("b");

    ztest::Zentro backup("backup '" + dir + "'", place(port));
    // Interrupt once the first photos are in.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto photos = [&] {
        size_t n = 0;
        std::error_code error;
        for (const auto& e : fs::recursive_directory_iterator(dir + "/photos", error))
            n += e.is_regular_file() && e.path().filename().string().rfind(".partial-", 0) != 0;
        return n;
    };
    while (photos() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(backup.interrupt().first, 130) << backup.err();

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

    ZentroResult resumed = zentro("--json backup '" + dir + "'", port);
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    const json done = readJson(dir + "/manifest.json");
    EXPECT_TRUE(done["complete"].get<bool>());
    EXPECT_EQ(done["counts"]["photos"], 60);
    EXPECT_GE(json::parse(resumed.out)["mediaKept"].get<int>(), 2);
    expectManifestTrue(dir, done);
}

// Phone 0 holds look-alikes (events sharing title and start, contacts sharing a name, media of
// one name in two folders and of one size with other bytes), empty fields and odd characters;
// phone 1 starts empty.
TEST_F(Backup, TrickyPhoneRoundTripsThroughBackupAndRestoreOnceAndUnchanged) {
    ztest::VirtualPhone phones(
        R"({"devices": [{"seed": 4242, "tricky": true, "sizes": {"messages": 12, "calls": 8,
        "events": 10, "contacts": 8, "apps": 1, "photos": 6, "music": 4, "videos": 2}}, {"seed": 98, "sizes": )" +
        std::string(kEmpty) + "}]}");
    const int port = phones.adbPort();
    for (const char* d : {"", "-d 1 "}) {
        const ZentroResult prepared = zentro(d + std::string("prepare"), port);
        ASSERT_EQ(prepared.status, 0) << d << prepared.err;
    }
    const std::string a = work.file("a"), b = work.file("b");
    ASSERT_EQ(zentro("backup '" + a + "'", port).status, 0);
    const json manifest = readJson(a + "/manifest.json");
    ASSERT_TRUE(manifest["complete"].get<bool>());
    expectManifestTrue(a, manifest);

    // Phone 1 first gets the calendar less one of the two events sharing title and start: a
    // restore must still add that one.
    const std::string half = work.file("half");
    fs::copy(a, half, fs::copy_options::recursive);
    std::vector<zentro::cli::Row> events = zentro::cli::eventsFromIcs(ztest::readFile(a + "/calendar.ics"));
    const auto room = std::find_if(events.begin(), events.end(), [](auto& e) { return e[5] == "Room 4.12"; });
    ASSERT_NE(room, events.end());
    events.erase(room);
    const std::string ics = zentro::cli::eventsToIcs(events);
    ztest::writeFile(half + "/calendar.ics", ics);
    json halfManifest = manifest;
    halfManifest["files"]["calendar.ics"] = {{"size", ics.size()}, {"sha256", zentro::cli::sha256Hex(ics)}};
    ztest::writeFile(half + "/manifest.json", halfManifest.dump());
    ASSERT_EQ(zentro("-d 1 restore --what calendar '" + half + "'", port).status, 0);

    const ZentroResult restore = zentro("--json -d 1 restore '" + a + "'", port);
    ASSERT_EQ(restore.status, 0) << restore.err;
    size_t set = 0, reset = 0; // the messaging role taken for the messages and handed back
    for (const std::string& entry : phones.requestLog("ZX1G22ABCD000001")) {
        reset += entry.find("ReSetDefaultMessage") != std::string::npos;
        set += entry.find("SetDefaultMessage") != std::string::npos;
    }
    EXPECT_EQ(set - reset, 1u);
    EXPECT_EQ(reset, 1u);
    ASSERT_EQ(zentro("-d 1 backup '" + b + "'", port).status, 0);
    EXPECT_EQ(messagesOf(b), messagesOf(a));
    EXPECT_EQ(callsOf(b), callsOf(a));
    EXPECT_EQ(eventsOf(b), eventsOf(a));
    EXPECT_EQ(contactsOf(b), contactsOf(a));
    EXPECT_EQ(mediaDigests(b), mediaDigests(a));
    const json restored = readJson(b + "/manifest.json")["counts"];

    const ZentroResult again = zentro("--json -d 1 restore '" + a + "'", port);
    ASSERT_EQ(again.status, 0) << again.err;
    const ZentroResult rebackup = zentro("--json -d 1 backup '" + b + "'", port);
    ASSERT_EQ(rebackup.status, 0) << rebackup.err;
    EXPECT_EQ(json::parse(rebackup.out)["mediaFetched"], 0) << "an unchanged phone moves no media bytes";
    const json first = json::parse(restore.out), second = json::parse(again.out);
    const json &before = manifest["counts"], after = readJson(b + "/manifest.json")["counts"];
    const std::map<std::string, size_t> records = {{"contacts", contactsOf(a).size()},
                                                   {"calendar", eventsOf(a).size()},
                                                   {"calls", callsOf(a).size() - 1},
                                                   {"messages", messagesOf(a).size()}};
    for (const char* kind : {"contacts", "calendar", "calls", "messages", "photos", "music", "videos"}) {
        const size_t inBackup = records.count(kind) ? records.at(kind) : manifest["media"][kind].size();
        EXPECT_EQ(inBackup, before[kind].get<size_t>()) << kind;
        EXPECT_EQ(first[kind]["added"].get<size_t>() + (kind == std::string("calendar") ? events.size() : 0),
                  before[kind].get<size_t>())
            << kind;
        EXPECT_EQ(restored[kind], before[kind]) << kind;
        EXPECT_EQ(second[kind]["added"], 0) << kind;
        EXPECT_EQ(after[kind], before[kind]) << kind;
    }
    // A contact that differs only in its home number is another contact: restore adds it back.
    const json contact = json::parse(zentro("--json -d 1 contacts list", port).out).at(0);
    ASSERT_EQ(
        zentro("-d 1 contacts set " + contact["id"].get<std::string>() + " homePhone 0123999", port).status,
        0);
    const ZentroResult third = zentro("--json -d 1 restore --what contacts '" + a + "'", port);
    EXPECT_EQ(json::parse(third.out)["contacts"]["added"], 1) << third.err;

    // A changed file and a link planted in the backup are named and left out; --strict stops.
    std::string ids;
    for (const json& photo : json::parse(zentro("--json -d 1 photos list", port).out))
        ids += " " + photo["id"].dump();
    ASSERT_EQ(zentro("-d 1 photos delete" + ids, port).status, 0);
    const std::string changed = manifest["media"]["photos"][0]["file"],
                      linked = manifest["media"]["photos"][1]["file"];
    ztest::writeFile(a + "/" + changed, ztest::readFile(a + "/" + changed) + "x");
    fs::remove(a + "/" + linked);
    fs::create_symlink(a + "/manifest.json", a + "/" + linked);
    const ZentroResult strict = zentro("--json -d 1 restore --strict --what photos '" + a + "'", port);
    EXPECT_NE(strict.status, 0);
    EXPECT_NE(strict.err.find(changed), std::string::npos) << strict.err;
    const ZentroResult lenient = zentro("--json -d 1 restore --what photos,calls '" + a + "'", port);
    EXPECT_EQ(lenient.status, 1);
    EXPECT_NE(lenient.err.find(linked), std::string::npos) << lenient.err;
    const json leftOut = json::parse(lenient.out);
    EXPECT_EQ(leftOut["photos"]["added"], 4) << "nothing was added by the strict run";
    EXPECT_EQ(leftOut["photos"]["failed"], 2);
    EXPECT_EQ(leftOut["calls"]["added"], 0);
    EXPECT_EQ(leftOut.size(), 3u) << "only the kinds asked for";

    // An incomplete backup still restores, with the list of what it lacks.
    json cut = manifest;
    cut["complete"] = false;
    cut["missing"] = {"videos/lost.avi"};
    ztest::writeFile(a + "/manifest.json", cut.dump());
    const ZentroResult partial = zentro("-d 1 restore --dry-run --what contacts '" + a + "'", port);
    EXPECT_EQ(partial.status, 0) << partial.err;
    EXPECT_NE(partial.err.find("incomplete"), std::string::npos) << partial.err;
    EXPECT_NE(partial.err.find("videos/lost.avi"), std::string::npos) << partial.err;
    EXPECT_EQ(zentro("restore '" + work.file("nothing") + "'", port).status, 2);
}

} // namespace
