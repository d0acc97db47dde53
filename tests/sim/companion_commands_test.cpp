// The companion's command table, request text in and reply bytes out, over a seeded phone.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "companion/codec.h"
#include "companion/commands.h"

using namespace zsim::companion;

namespace {

using Record = std::map<std::string, std::string>;

// Splits reply text into records of decoded fields; fails the test on text that breaks the
// grammar (so a malformed page cannot pass as a short one).
std::vector<Record> records(const std::string& text, bool hexValues = true) {
    std::vector<Record> out;
    const auto parts = split(text, '.');
    EXPECT_TRUE(parts.back().empty()) << "fields after the last record end";
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        Record& record = out.emplace_back();
        const auto fields = split(parts[i], ';');
        EXPECT_TRUE(fields.back().empty()) << "unterminated field in " << parts[i];
        for (size_t f = 0; f + 1 < fields.size(); ++f) {
            const size_t colon = fields[f].find(':');
            EXPECT_NE(colon, std::string_view::npos) << "broken field " << fields[f];
            const std::string value(fields[f].substr(colon + 1));
            const auto decoded = hexValues ? hexDecode(value) : std::optional<std::string>(value);
            EXPECT_TRUE(decoded) << fields[f] << " is not hex text";
            record[std::string(fields[f].substr(0, colon))] = decoded.value_or("");
        }
    }
    return out;
}

// A little-endian number reply of exactly `size` bytes.
int64_t asInt(const std::string& reply, size_t size = 4) {
    EXPECT_EQ(reply.size(), size);
    if (reply.size() != size) return INT64_MIN;
    uint64_t v = 0;
    for (size_t i = size; i-- > 0;) v = v << 8 | static_cast<unsigned char>(reply[i]);
    return size == 4 ? static_cast<int32_t>(v) : static_cast<int64_t>(v);
}

void expectKeys(const Record& r, std::initializer_list<const char*> keys) {
    for (const char* key : keys) EXPECT_TRUE(r.count(key)) << key;
}

class Companion : public ::testing::Test {
protected:
    Companion()
        : device(std::make_shared<zsim::Device>("ZX1G22ABCD0000", 7))
        , state(*device) {
        device->sizes = {.messages = 23,
                         .calls = 9,
                         .events = 7,
                         .contacts = 12,
                         .apps = 4,
                         .photos = 5,
                         .music = 4,
                         .videos = 2};
        device->setProperty("ro.product.manufacturer", "Acme");
        device->setProperty("ro.product.model", "A1");
        device->setProperty("ro.build.version.release", "4.4.2");
    }

    std::string send(const std::string& text, const std::string& payload = {}) {
        return state.handle(makeRequest(text, payload));
    }
    int64_t sendInt(const std::string& text, const std::string& payload = {}) {
        return asInt(send(text, payload));
    }
    // Sends each command in turn; each must answer its number.
    void expectInts(std::initializer_list<std::pair<std::string, int64_t>> script) {
        for (const auto& [text, value] : script) EXPECT_EQ(sendInt(text), value) << text;
    }
    Record first(const std::string& text) {
        const auto list = records(send(text));
        EXPECT_FALSE(list.empty()) << text;
        return list.empty() ? Record{} : list[0];
    }

    // Every record of a paged list, asking for offsets 0, 5, 10, ... as the library does.
    std::vector<Record> all(const std::string& pageCommand, int count) {
        std::vector<Record> out;
        for (int offset = 0; offset < count; offset += kPageSize) {
            const auto page = records(send(pageCommand + ":" + std::to_string(offset) + ";"));
            EXPECT_EQ(page.size(), static_cast<size_t>(std::min(kPageSize, count - offset)));
            out.insert(out.end(), page.begin(), page.end());
        }
        EXPECT_EQ(send(pageCommand + ":" + std::to_string(count) + ";"), "") << "past the end";
        return out;
    }

    std::shared_ptr<zsim::Device> device;
    CompanionState state;
};

} // namespace

TEST_F(Companion, HandshakeNoticesAndDeviceInfo) {
    EXPECT_EQ(send("hello-transfer;"), "HI-PC");
    expectInts({{"sync_android_USBStart;", 1}, {"sync_zentrolink_ConnectOK;", 1}});
    EXPECT_EQ(send("no-such-command;"), "");
    EXPECT_EQ(send("hello-Transfer;"), "") << "names are case-sensitive";
    EXPECT_EQ(send("getExternalStoragePath;"), "/storage/emulated/0");

    // Text fields are hex, the six numbers plain digits.
    const std::string info = send("getDevciesInfo;");
    EXPECT_LE(info.size(), 1023u);
    Record fields = records(info, false).at(0);
    EXPECT_EQ(fields["BRAND"] + fields["MODEL"], hexEncode("AcmeA1"));
    EXPECT_EQ(fields["ANDROIDVERSION"], hexEncode("4.4.2"));
    EXPECT_EQ(fields["SERIAL"], hexEncode("ZX1G22ABCD0000"));
    for (const char* key : {"MEMTOTAL", "MEMAVAIL", "PHONETOTAL", "PHONEAVAIL", "SDTOTAL", "SDAVAIL"})
        EXPECT_GT(parseDecimal(fields[key]).value_or(0), 0) << key;
    EXPECT_LE(*parseDecimal(fields["MEMAVAIL"]), *parseDecimal(fields["MEMTOTAL"]));

    // A second set must not lose the old owner of the messaging role.
    EXPECT_EQ(send("GetDefaultMessage_pkgName;"), "com.android.mms");
    expectInts({{"SetDefaultMessage;", 1}, {"SetDefaultMessage;", 1}});
    EXPECT_EQ(send("GetDefaultMessage_pkgName;"), kCompanionPackage);
    expectInts({{"ReSetDefaultMessage;", 1}});
    EXPECT_EQ(send("GetDefaultMessage_pkgName;"), "com.android.mms");
}

TEST_F(Companion, MessagesPageNewestFirstAndChange) {
    expectInts({{"getsmsCount;", 23}});
    auto list = all("getsmsPart10", 23);
    std::set<std::string> ids;
    for (size_t i = 0; i < list.size(); ++i) {
        const Record& m = list[i];
        expectKeys(m, {"ID", "THREAD_ID", "ADDRESS", "DATE", "READ", "STATUS", "TYPE", "BODY"});
        EXPECT_TRUE(parseDate(m.at("DATE"))) << m.at("DATE");
        EXPECT_EQ(m.count("PROTOCOL"), m.at("TYPE") == "1" ? 1u : 0u);
        EXPECT_TRUE(i == 0 || list[i - 1].at("DATE") >= m.at("DATE"));
        EXPECT_TRUE(ids.insert(m.at("ID")).second);
    }
    EXPECT_EQ(send("getsmsPart10:-5;") + send("getsmsPart10:x;"), "");

    // The library's form: address, body, date, read-state, "-1", type.
    const std::string to = list.back().at("ADDRESS"), thread = list.back().at("THREAD_ID");
    expectInts({{"SendSMS:" + hexEncode(to) + "-" + hexEncode("Hi there") + "--31-2D31-32;", 1}});
    const Record sent = first("getsmsPart10:0;");
    EXPECT_EQ(sent.at("BODY"), "Hi there");
    EXPECT_EQ(sent.at("ADDRESS"), to);
    EXPECT_EQ(sent.at("THREAD_ID"), thread) << "joins the address's conversation";
    EXPECT_EQ(sent.at("TYPE"), "2");
    EXPECT_EQ(sent.at("ID"), "24");

    // Two recipients in one address item, an old date: two messages, placed by their date.
    expectInts({{"SendSMS:" + hexEncode("+15550001; +15550002") + "-" + hexEncode("old") + "-" +
                     hexEncode("2001-01-01 10:00:00") + "-31-2D31-31;",
                 1},
                {"SendSMS:--31-2D31-32;", -1},        // five items
                {"SendSMS:-4869--31-2D31-32;", -1},   // no recipient
                {"SendSMS:3G-4869--31-2D31-32;", -1}, // not hex
                {"getsmsCount;", 26}});
    list = all("getsmsPart10", 26);
    EXPECT_EQ(list[24].at("BODY") + list[25].at("BODY"), "oldold");
    EXPECT_NE(list[24].at("THREAD_ID"), list[25].at("THREAD_ID"));
    EXPECT_EQ(list[24].at("TYPE"), "1");

    expectInts({{"ClearSMS;", 1}, {"getsmsCount;", 0}});
    EXPECT_EQ(send("getsmsPart10:0;"), "");
}

TEST_F(Companion, CallLogAndCalendar) {
    expectInts({{"getcalllogcount;", 9}});
    for (const Record& c : all("getcalllogpart10", 9)) {
        EXPECT_TRUE(parseDate(c.at("DATE")));
        expectKeys(c, {"NUMBER", "TYPE", "DURATION"});
    }
    // A call with a contact's number takes the contact's name.
    const Record contact = first("getcontactpart10:0;");
    const std::string number = contact.at("PHONE_PHONE");
    expectInts(
        {{"AddCallHistory:" + hexEncode(number) + "-" + hexEncode("2030-01-01 08:00:00") + "-33-30;", 1}});
    const Record newest = first("getcalllogpart10:0;");
    EXPECT_EQ(newest.at("NUMBER"), number);
    EXPECT_EQ(newest.at("NAME"), contact.at("NAME"));
    EXPECT_EQ(newest.at("TYPE"), "3");
    expectInts({{"AddCallHistory:353535---;", 1},        // only the number, as the library may send
                {"AddCallHistory:353535-35-39-30;", -1}, // no such call type
                {"AddCallHistory:353535-35-31;", -1},
                {"getcalllogcount;", 11},
                {"ClearCallHistory;", 1},
                {"getcalllogcount;", 0},
                {"getcalendarcount;", 7}});

    auto events = all("getcalendarpart10", 7);
    for (size_t i = 0; i < events.size(); ++i) {
        expectKeys(events[i], {"ID", "CALENDARID", "TITLE", "START", "END", "EVENTLOC", "EVENTTZ",
                               "DESCRIPTION", "HASALARM", "MINUTES"});
        EXPECT_TRUE(!events[i].count("RRULE") || !events[i].at("RRULE").empty());
        EXPECT_TRUE(i == 0 || std::stoll(events[i - 1].at("START")) <= std::stoll(events[i].at("START")));
    }
    // All fields empty: eight separators and the blank that stands for "no rule".
    expectInts({{"AddCalender:--------20;", 1},
                {"AddCalender:" + hexEncode("Lunch") + "-" + hexEncode("1000") + "-" + hexEncode("2000") +
                     "------" + hexEncode("FREQ=DAILY") + ";",
                 1},
                {"AddCalender:4142;", -1}});
    events = all("getcalendarpart10", 9);
    EXPECT_EQ(events.front().at("TITLE"), "Lunch") << "earliest start first";
    EXPECT_EQ(events.front().at("RRULE"), "FREQ=DAILY");
    EXPECT_EQ(events.back().count("RRULE"), 0u) << "the blank rule is no rule";
    expectInts({{"ClearCalender;", 1}, {"getcalendarcount;", 0}});
}

TEST_F(Companion, ContactsAddUpdateClear) {
    expectInts({{"getcontactCount;", 12}});
    const auto list = all("getcontactpart10", 12);
    EXPECT_EQ(list.at(0).at("CONTACTID"), "1");
    expectKeys(list.at(0), {"NAME", "NICKNAME", "PHONE_PHONE", "PHONE_HOME", "PHONE_WORK", "WEBSITE",
                            "EMAIL_HOME", "BIRTHDAY", "NOTE", "ORG_NAME", "ORG_TITLE", "ADDRESS_HOME",
                            "ADDRESS_WORK", "PHONE_HOMEFAX", "PHONE_WORKFAX", "EMAIL_WORK"});

    EXPECT_EQ(asInt(send("AddPerson:4142:3132;"), 8), 13);
    expectInts({{"UpdatePerson:13:3132:MOBILE;", 1},
                {"UpdatePerson:13:58:ORGANZATION;", 1},
                {"UpdatePerson:13:" + hexEncode("Lee") + ":LASTNAME;", 1},
                {"UpdatePerson:13:58:ORGANIZATION;", -1}, // the keyword is spelled as on the wire
                {"UpdatePerson:99:58:NOTE;", -1},
                {"UpdatePerson:13:5:NOTE;", -1}});
    const Record added = records(send("getcontactpart10:10;")).at(2);
    EXPECT_EQ(added.at("CONTACTID"), "13");
    EXPECT_EQ(added.at("NAME"), "AB Lee");
    EXPECT_EQ(added.at("PHONE_PHONE"), "12");
    EXPECT_EQ(added.at("ORG_NAME"), "X");
    EXPECT_EQ(added.count("NOTE"), 0u);

    // Name, fields 3 to 20 (14 and 15 unused), then the closing blank.
    std::string all3 = "AddPerson3:" + hexEncode("Kim");
    for (int f = 3; f <= 20; ++f)
        all3 += "-" + (f == 14 || f == 15 ? std::string() : hexEncode("v" + std::to_string(f)));
    EXPECT_EQ(asInt(send(all3 + "-20;"), 8), 14);
    for (const char* nothing : {"AddPerson3:-------------------20;", "AddPerson3:4142-20;", "AddPerson::;"})
        EXPECT_EQ(asInt(send(nothing), 8), 0) << nothing;
    const Record full = records(send("getcontactpart10:10;")).at(3);
    const std::map<std::string, std::string> stored = {
        {"NAME", "Kim"},      {"NICKNAME", "v3"},      {"PHONE_PHONE", "v4"}, {"BIRTHDAY", "v9"},
        {"ORG_TITLE", "v13"}, {"ADDRESS_HOME", "v16"}, {"EMAIL_WORK", "v20"}};
    for (const auto& [key, value] : stored)
        EXPECT_EQ(full.count(key) ? full.at(key) : "<none>", value) << key;

    expectInts({{"getcontactCount;", 14}, {"ClearPerson;", 1}, {"getcontactCount;", 0}});
    EXPECT_EQ(asInt(send("AddPerson:4142:;"), 8), 15) << "ids are not reused";
}

TEST_F(Companion, ApplicationsFollowThePackageManager) {
    auto appAt = [&](int i) {
        const std::string reply = send("getappindexinfo:" + std::to_string(i) + ";");
        EXPECT_LE(reply.size(), 1023u);
        const auto r = records(reply);
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? Record{{"PKG", ""}} : r[0];
    };
    const int64_t count = sendInt("getappcount;");
    ASSERT_GT(count, 4);
    std::set<std::string> packages;
    for (int i = 0; i < count; ++i) {
        const Record app = appAt(i);
        packages.insert(app.at("PKG"));
        expectKeys(app, {"TOTALSIZE", "CACHSEZE", "DATASIZE", "CODESIZE"});
        // User apps are installed on the phone with their package file.
        if (app.at("SYSTEMAPP") == "0") {
            EXPECT_TRUE(device->hasPackage(app.at("PKG")));
            EXPECT_TRUE(device->files.stat("/data/app/" + app.at("PKG") + "-1.apk"));
        }
    }
    EXPECT_EQ(send("getappindexinfo:" + std::to_string(count) + ";"), "");
    EXPECT_TRUE(packages.count("com.android.mms"));

    const std::string gone = *device->packages().begin();
    device->removePackage(gone);
    device->addPackage(kCompanionPackage);
    device->addPackage("org.example." + std::string(600, 'x')); // too long to show whole
    EXPECT_EQ(sendInt("getappcount;"), count) << "the list changes on refresh only";
    EXPECT_EQ(sendInt("flushapplist;"), count + 1);
    packages.clear();
    for (int i = 0; i < count + 1; ++i) packages.insert(appAt(i).at("PKG"));
    EXPECT_FALSE(packages.count(gone));
    EXPECT_TRUE(packages.count(kCompanionPackage));
}

TEST_F(Companion, MediaCatalogueAndReading) {
    struct Kind {
        std::string count, info, path, read;
        int items;
    };
    const Kind kinds[] = {
        {"getdcimcount;", "getdcimindexinfo:", "getfilepathForid:", "getdcimdata:", 5},
        {"getmusiccount;", "getmusicindexinfo:", "GetMusicPathById:", "exportfilefromdevice_music:", 4},
        {"getvideocount;", "getvideoindexinfo:", "GetVideoPathById:", "exportfilefromdevice_video:", 2}};
    for (int k = 0; k < 3; ++k) {
        const Kind& kind = kinds[k];
        ASSERT_EQ(sendInt(kind.count), kind.items);
        for (int i = 0; i < kind.items; ++i) {
            const std::string reply = send(kind.info + std::to_string(i) + ";");
            ASSERT_LE(reply.size(), 1023u);
            const Record item = records(reply).at(0);
            const std::string id = item.at("ID"), path = send(kind.path + id + ";");
            EXPECT_EQ(item.at("PATH"), path);
            ASSERT_EQ(path.rfind("/storage/emulated/0/", 0), 0u) << path;
            const auto bytes = device->files.read("/sdcard" + path.substr(19));
            ASSERT_TRUE(bytes) << path;
            EXPECT_EQ(std::to_string(bytes->size()), item.at("SIZE"));
            EXPECT_EQ(item.count("DURATION"), k == 0 ? 0u : 1u);
            EXPECT_EQ(item.count("ALBUMID") + item.count("ALBUM") + item.count("ARTIST"), k == 1 ? 3u : 0u);
            EXPECT_EQ(item.count("DISPLAYNAME"), k == 2 ? 1u : 0u);

            // Read in chunks of a size that does not divide the file, as a download does; past
            // the end comes the status 0.
            std::string copy, chunk;
            auto readAt = [&](size_t offset) {
                return send(kind.read + id + ":" + std::to_string(offset) + ":4000;");
            };
            while (copy.size() < bytes->size() && !(chunk = readAt(copy.size())).empty() &&
                   chunk.size() <= 4000u)
                copy += chunk;
            EXPECT_EQ(copy, *bytes);
            EXPECT_EQ(asInt(readAt(copy.size())), 0);
        }
        EXPECT_EQ(send(kind.info + std::to_string(kind.items) + ";") + send(kind.path + "999;"), "");
        expectInts({{kind.read + "999:0:10;", -1}, {kind.read + "1:-1:10;", -1}, {kind.read + "1:0:0;", -1}});
    }
    // A 64-bit offset is read whole.
    expectInts({{"exportfilefromdevice_music:1:5000000000:10240;", 0},
                {"getdcimthumb:999;", -1},
                {"getmusicthumb:999:999;", -1}});

    EXPECT_EQ(send("getdcimthumb:1;").substr(0, 4), "\x89PNG");
    const Record track = first("getmusicindexinfo:0;");
    const std::string cover = send("getmusicthumb:" + track.at("ID") + ":" + track.at("ALBUMID") + ";");
    EXPECT_EQ(cover.substr(0, 4), "\x89PNG");
    EXPECT_EQ(send("getmusicthumb:" + track.at("ID") + ":999;"), cover) << "falls back to the track's album";
}

TEST_F(Companion, MediaDeleteAndRefresh) {
    const Record photo = first("getdcimindexinfo:0;");
    const std::string remove = "deletephoto:" + photo.at("ID") + ";";
    expectInts({{remove, 1}, {"getdcimcount;", 4}, {remove, -1}});
    EXPECT_FALSE(device->files.stat("/sdcard" + photo.at("PATH").substr(19)));

    // A file removed behind the app's back leaves the list at the next refresh.
    const Record video = first("getvideoindexinfo:1;");
    device->files.remove("/sdcard" + video.at("PATH").substr(19));
    expectInts({{"getvideocount;", 2}, {"flushvideolist;", 1}});
    EXPECT_NE(first("getvideoindexinfo:0;").at("ID"), video.at("ID"));

    const Record track = first("getmusicindexinfo:0;");
    expectInts({{"ClearMusic;", 1},
                {"getmusiccount;", 0},
                {"ClearPhotos;", 1},
                {"getdcimcount;", 0},
                {"deletevideofromdevice:" + first("getvideoindexinfo:0;").at("ID") + ";", 1},
                {"getvideocount;", 0}});
    EXPECT_FALSE(device->files.stat("/sdcard" + track.at("PATH").substr(19)));
}

TEST_F(Companion, WriteSessionsCreateFiles) {
    expectInts({{"checkFileisExist:a.png;", 0}});
    EXPECT_EQ(send("write_photofile:3;", "abc"), "") << "no session: the chunk is not taken";

    std::string content;
    for (int i = 0; i < 70000; ++i) content.push_back(static_cast<char>(i * 7 % 251));
    expectInts({{"open_photofile:" + hexEncode("a.png") + ";", 1}});
    EXPECT_EQ(sendInt("write_photofile:40000;", content.substr(0, 40000)), 40000);
    EXPECT_EQ(sendInt("write_photofile:30000;", content.substr(40000)), 30000);
    expectInts({{"close_photofile;", 1},
                {"close_photofile;", -1},
                {"checkFileisExist:a.png;", 1},
                {"checkMusicFileisExist:a.png;", 0}, // each kind has its folder
                {"addphototodevice:" + hexEncode("a.png") + ";", 1},
                {"getdcimcount;", 6}});
    EXPECT_EQ(device->files.read("/sdcard/Images/a.png"), content);
    const Record added = first("getdcimindexinfo:5;");
    EXPECT_EQ(added.at("PATH"), "/storage/emulated/0/Images/a.png");
    EXPECT_EQ(added.at("TILTE"), "a");
    EXPECT_EQ(added.at("SIZE"), "70000");
    EXPECT_EQ(send("getdcimdata:" + added.at("ID") + ":69990:4096;"), content.substr(69990));
    // Announcing the same file again updates it in place.
    expectInts({{"addphototodevice:" + hexEncode("a.png") + ";", 1}, {"getdcimcount;", 6}});

    // A pushed file announced by name (the adb route) joins the list the same way; an abandoned
    // upload leaves nothing behind.
    device->files.write("/sdcard/Music/song.wav", "RIFF....WAVE");
    expectInts({{"checkMusicFileisExist:song.wav;", 1},
                {"addmusictodevice:" + hexEncode("song.wav") + ";", 1},
                {"addmusictodevice:" + hexEncode("missing.wav") + ";", -1},
                {"getmusiccount;", 5},
                {"open_videofile:" + hexEncode("clip.avi") + ";", 1}});
    EXPECT_EQ(sendInt("write_videofile:4;", "data"), 4);
    expectInts({{"close_videofile;", 1},
                {"addvideotodevice_abort:" + hexEncode("clip.avi") + ";", 1},
                {"getvideocount;", 2}});
    EXPECT_FALSE(device->files.stat("/sdcard/Videos/clip.avi"));

    // Names stay inside their folder.
    for (const std::string bad : {"", "../x", "/etc/x", "a//b", "a/./b"})
        expectInts({{"checkFileisExist:" + bad + ";", -1}, {"open_Musicfile:" + hexEncode(bad) + ";", -1}});
    expectInts(
        {{"open_Musicfile:4;", -1}, {"checkFileisExist:sub/a.png;", 0}}); // not hex; a sub-folder is fine
}

TEST(CompanionRequest, PayloadSizesAndSyncMarkers) {
    const std::pair<const char*, int64_t> lengths[] = {{"write_photofile:102400;", 102400},
                                                       {"write_musicfile:1;", 1},
                                                       {"write_videofile:0;", 0},
                                                       {"write_videofile:-3;", 0},
                                                       {"write_videofile:abc;", 0},
                                                       {"write_videofile:999999999999;", -1},
                                                       {"getsmsPart10:5;", 0}};
    for (const auto& [text, length] : lengths) EXPECT_EQ(payloadLength(makeRequest(text)), length) << text;

    auto device = std::make_shared<zsim::Device>("S", 1);
    CompanionState state(*device);
    auto answer = [&](const char* text) { return asInt(state.handle(makeRequest(text))); };
    EXPECT_EQ(answer("sync_zentrolink_Start;"), 1);
    EXPECT_EQ(answer("sync_zentrolink_Update:a:b:5;"), 1);
    EXPECT_EQ(answer("sync_zentrolink_Update:nonumber;"), -1);
    const CompanionState::Markers m = state.markers();
    EXPECT_TRUE(m.active);
    EXPECT_EQ(m.updates, 1);
    EXPECT_EQ(m.lastText, "a:b");
    EXPECT_EQ(m.lastNumber, 5);
    EXPECT_EQ(answer("sync_zentrolink_End;"), 1);
    EXPECT_FALSE(state.markers().active);
}
