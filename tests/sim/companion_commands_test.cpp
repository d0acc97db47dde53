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
    Record current;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '.') {
            out.push_back(std::move(current));
            current.clear();
            ++at;
            continue;
        }
        const size_t colon = text.find(':', at), semi = text.find(';', at);
        if (colon == std::string::npos || semi == std::string::npos || colon > semi) {
            ADD_FAILURE() << "broken field at " << at << " in " << text.substr(at, 40);
            return out;
        }
        const std::string key = text.substr(at, colon - at), value = text.substr(colon + 1, semi - colon - 1);
        const auto decoded = hexValues ? hexDecode(value) : std::optional<std::string>(value);
        EXPECT_TRUE(decoded) << key << " is not hex text";
        current[key] = decoded.value_or("");
        at = semi + 1;
    }
    EXPECT_TRUE(current.empty()) << "fields after the last record end";
    return out;
}

int32_t asInt(const std::string& reply) {
    EXPECT_EQ(reply.size(), 4u);
    if (reply.size() != 4) return INT32_MIN;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(reply[i]);
    return static_cast<int32_t>(v);
}

int64_t asInt64(const std::string& reply) {
    EXPECT_EQ(reply.size(), 8u);
    if (reply.size() != 8) return INT64_MIN;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(reply[i]);
    return static_cast<int64_t>(v);
}

class Companion : public ::testing::Test {
protected:
    Companion() : device(std::make_shared<zsim::Device>("ZX1G22ABCD0000", 7)), state(*device) {
        device->sizes.messages = 23;
        device->sizes.calls = 9;
        device->sizes.events = 7;
        device->sizes.contacts = 12;
        device->sizes.apps = 4;
        device->sizes.photos = 5;
        device->sizes.music = 4;
        device->sizes.videos = 2;
        device->setProperty("ro.product.manufacturer", "Acme");
        device->setProperty("ro.product.model", "A1");
        device->setProperty("ro.build.version.release", "4.4.2");
    }

    std::string send(const std::string& text, const std::string& payload = {}) {
        return state.handle(makeRequest(text, payload));
    }
    int32_t sendInt(const std::string& text, const std::string& payload = {}) { return asInt(send(text, payload)); }

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
    EXPECT_EQ(sendInt("sync_android_USBStart;"), 1);
    EXPECT_EQ(sendInt("sync_zentrolink_ConnectOK;"), 1);
    EXPECT_EQ(send("no-such-command;"), "");
    EXPECT_EQ(send("hello-Transfer;"), "") << "names are case-sensitive";
    EXPECT_EQ(send("getExternalStoragePath;"), "/storage/emulated/0");

    const std::string info = send("getDevciesInfo;");
    EXPECT_LE(info.size(), 1023u);
    // Text fields are hex, the six numbers plain digits.
    std::map<std::string, std::string> fields;
    const std::string body = info.substr(0, info.size() - 1);
    for (const auto& field : zsim::companion::split(body, ';'))
        if (!field.empty()) fields[std::string(field.substr(0, field.find(':')))] = field.substr(field.find(':') + 1);
    EXPECT_EQ(fields["BRAND"], hexEncode("Acme"));
    EXPECT_EQ(fields["MODEL"], hexEncode("A1"));
    EXPECT_EQ(fields["ANDROIDVERSION"], hexEncode("4.4.2"));
    EXPECT_EQ(fields["SERIAL"], hexEncode("ZX1G22ABCD0000"));
    for (const char* key : {"MEMTOTAL", "MEMAVAIL", "PHONETOTAL", "PHONEAVAIL", "SDTOTAL", "SDAVAIL"}) {
        const auto n = parseDecimal(fields[key]);
        ASSERT_TRUE(n) << key;
        EXPECT_GT(*n, 0) << key;
    }
    EXPECT_LE(*parseDecimal(fields["MEMAVAIL"]), *parseDecimal(fields["MEMTOTAL"]));
}

TEST_F(Companion, MessagesPageNewestFirstAndChange) {
    EXPECT_EQ(sendInt("getsmsCount;"), 23);
    auto list = all("getsmsPart10", 23);
    std::set<std::string> ids;
    for (size_t i = 0; i < list.size(); ++i) {
        const Record& m = list[i];
        for (const char* key : {"ID", "THREAD_ID", "ADDRESS", "DATE", "READ", "STATUS", "TYPE", "BODY"})
            EXPECT_TRUE(m.count(key)) << key;
        EXPECT_TRUE(parseDate(m.at("DATE"))) << m.at("DATE");
        EXPECT_EQ(m.count("PROTOCOL"), m.at("TYPE") == "1" ? 1u : 0u);
        if (i > 0) {
            EXPECT_GE(list[i - 1].at("DATE"), m.at("DATE"));
        }
        EXPECT_TRUE(ids.insert(m.at("ID")).second);
    }
    EXPECT_EQ(send("getsmsPart10:-5;"), "");
    EXPECT_EQ(send("getsmsPart10:x;"), "");

    // The library's form: address, body, date, read-state, "-1", type.
    const std::string to = list.back().at("ADDRESS"), thread = list.back().at("THREAD_ID");
    EXPECT_EQ(sendInt("SendSMS:" + hexEncode(to) + "-" + hexEncode("Hi there") + "--31-2D31-32;"), 1);
    EXPECT_EQ(sendInt("getsmsCount;"), 24);
    Record sent = records(send("getsmsPart10:0;")).at(0);
    EXPECT_EQ(sent.at("BODY"), "Hi there");
    EXPECT_EQ(sent.at("ADDRESS"), to);
    EXPECT_EQ(sent.at("THREAD_ID"), thread) << "joins the address's conversation";
    EXPECT_EQ(sent.at("TYPE"), "2");
    EXPECT_EQ(std::stoll(sent.at("ID")), 24);

    // Two recipients in one address item, an old date: two messages, placed by their date.
    EXPECT_EQ(sendInt("SendSMS:" + hexEncode("+15550001; +15550002") + "-" + hexEncode("old") + "-" +
                      hexEncode("2001-01-01 10:00:00") + "-31-2D31-31;"),
              1);
    list = all("getsmsPart10", 26);
    EXPECT_EQ(list[24].at("BODY"), "old");
    EXPECT_EQ(list[25].at("BODY"), "old");
    EXPECT_NE(list[24].at("THREAD_ID"), list[25].at("THREAD_ID"));
    EXPECT_EQ(list[24].at("TYPE"), "1");

    EXPECT_EQ(sendInt("SendSMS:--31-2D31-32;"), -1) << "five items";
    EXPECT_EQ(sendInt("SendSMS:-4869--31-2D31-32;"), -1) << "no recipient";
    EXPECT_EQ(sendInt("SendSMS:3G-4869--31-2D31-32;"), -1) << "not hex";
    EXPECT_EQ(sendInt("getsmsCount;"), 26);

    EXPECT_EQ(sendInt("ClearSMS;"), 1);
    EXPECT_EQ(sendInt("getsmsCount;"), 0);
    EXPECT_EQ(send("getsmsPart10:0;"), "");
}

TEST_F(Companion, DefaultMessagingApp) {
    EXPECT_EQ(send("GetDefaultMessage_pkgName;"), "com.android.mms");
    EXPECT_EQ(sendInt("SetDefaultMessage;"), 1);
    EXPECT_EQ(sendInt("SetDefaultMessage;"), 1);
    EXPECT_EQ(send("GetDefaultMessage_pkgName;"), "com.vantrey.pocketdesk");
    EXPECT_EQ(sendInt("ReSetDefaultMessage;"), 1);
    EXPECT_EQ(send("GetDefaultMessage_pkgName;"), "com.android.mms") << "a second set must not lose the old owner";
}

TEST_F(Companion, CallLogAndCalendar) {
    EXPECT_EQ(sendInt("getcalllogcount;"), 9);
    const auto calls = all("getcalllogpart10", 9);
    for (const Record& c : calls) {
        EXPECT_TRUE(parseDate(c.at("DATE")));
        EXPECT_TRUE(c.count("NUMBER") && c.count("TYPE") && c.count("DURATION"));
    }
    // A call with a contact's number takes the contact's name.
    const auto contacts = all("getcontactpart10", 12);
    const std::string number = contacts.at(0).at("PHONE_PHONE");
    EXPECT_EQ(sendInt("AddCallHistory:" + hexEncode(number) + "-" + hexEncode("2030-01-01 08:00:00") + "-33-30;"), 1);
    Record newest = records(send("getcalllogpart10:0;")).at(0);
    EXPECT_EQ(newest.at("NUMBER"), number);
    EXPECT_EQ(newest.at("NAME"), contacts.at(0).at("NAME"));
    EXPECT_EQ(newest.at("TYPE"), "3");
    EXPECT_EQ(sendInt("AddCallHistory:353535---;"), 1) << "only the number, as the library may send";
    EXPECT_EQ(sendInt("AddCallHistory:353535-35-39-30;"), -1) << "no such call type";
    EXPECT_EQ(sendInt("AddCallHistory:353535-35-31;"), -1);
    EXPECT_EQ(sendInt("getcalllogcount;"), 11);
    EXPECT_EQ(sendInt("ClearCallHistory;"), 1);
    EXPECT_EQ(sendInt("getcalllogcount;"), 0);

    EXPECT_EQ(sendInt("getcalendarcount;"), 7);
    auto events = all("getcalendarpart10", 7);
    for (size_t i = 0; i < events.size(); ++i) {
        for (const char* key : {"ID", "CALENDARID", "TITLE", "START", "END", "EVENTLOC", "EVENTTZ", "DESCRIPTION",
                                "HASALARM", "MINUTES"})
            EXPECT_TRUE(events[i].count(key)) << key;
        if (events[i].count("RRULE")) {
            EXPECT_FALSE(events[i].at("RRULE").empty());
        }
        if (i > 0) {
            EXPECT_LE(std::stoll(events[i - 1].at("START")), std::stoll(events[i].at("START")));
        }
    }
    // All fields empty: eight separators and the blank that stands for "no rule".
    EXPECT_EQ(sendInt("AddCalender:--------20;"), 1);
    const std::string start = "1000";
    EXPECT_EQ(sendInt("AddCalender:" + hexEncode("Lunch") + "-" + hexEncode(start) + "-" + hexEncode("2000") +
                      "------" + hexEncode("FREQ=DAILY") + ";"),
              1);
    events = all("getcalendarpart10", 9);
    EXPECT_EQ(events.front().at("TITLE"), "Lunch") << "earliest start first";
    EXPECT_EQ(events.front().at("RRULE"), "FREQ=DAILY");
    EXPECT_EQ(events.back().count("RRULE"), 0u) << "the blank rule is no rule";
    EXPECT_EQ(sendInt("AddCalender:4142;"), -1);
    EXPECT_EQ(sendInt("ClearCalender;"), 1);
    EXPECT_EQ(sendInt("getcalendarcount;"), 0);
}

TEST_F(Companion, ContactsAddUpdateClear) {
    EXPECT_EQ(sendInt("getcontactCount;"), 12);
    const auto list = all("getcontactpart10", 12);
    EXPECT_EQ(list.at(0).at("CONTACTID"), "1");
    for (const char* key : {"NAME", "NICKNAME", "PHONE_PHONE", "PHONE_HOME", "PHONE_WORK", "WEBSITE", "EMAIL_HOME",
                            "BIRTHDAY", "NOTE", "ORG_NAME", "ORG_TITLE", "ADDRESS_HOME", "ADDRESS_WORK",
                            "PHONE_HOMEFAX", "PHONE_WORKFAX", "EMAIL_WORK"})
        EXPECT_TRUE(list.at(0).count(key)) << key;

    EXPECT_EQ(asInt64(send("AddPerson:4142:3132;")), 13);
    EXPECT_EQ(sendInt("UpdatePerson:13:3132:MOBILE;"), 1);
    EXPECT_EQ(sendInt("UpdatePerson:13:58:ORGANZATION;"), 1);
    EXPECT_EQ(sendInt("UpdatePerson:13:" + hexEncode("Lee") + ":LASTNAME;"), 1);
    EXPECT_EQ(sendInt("UpdatePerson:13:58:ORGANIZATION;"), -1) << "the keyword is spelled as on the wire";
    EXPECT_EQ(sendInt("UpdatePerson:99:58:NOTE;"), -1);
    EXPECT_EQ(sendInt("UpdatePerson:13:5:NOTE;"), -1);
    Record added = records(send("getcontactpart10:10;")).at(2);
    EXPECT_EQ(added.at("CONTACTID"), "13");
    EXPECT_EQ(added.at("NAME"), "AB Lee");
    EXPECT_EQ(added.at("PHONE_PHONE"), "12");
    EXPECT_EQ(added.at("ORG_NAME"), "X");
    EXPECT_EQ(added.count("NOTE"), 0u);

    // Name, fields 3 to 20 (14 and 15 unused), then the closing blank.
    std::string all3 = "AddPerson3:" + hexEncode("Kim");
    for (int f = 3; f <= 20; ++f) all3 += "-" + (f == 14 || f == 15 ? std::string() : hexEncode("v" + std::to_string(f)));
    all3 += "-20;";
    EXPECT_EQ(asInt64(send(all3)), 14);
    EXPECT_EQ(asInt64(send("AddPerson3:-------------------20;")), 0) << "nothing to store";
    EXPECT_EQ(asInt64(send("AddPerson3:4142-20;")), 0);
    EXPECT_EQ(asInt64(send("AddPerson::;")), 0);
    Record full = records(send("getcontactpart10:10;")).at(3);
    EXPECT_EQ(full.at("NAME"), "Kim");
    EXPECT_EQ(full.at("NICKNAME"), "v3");
    EXPECT_EQ(full.at("PHONE_PHONE"), "v4");
    EXPECT_EQ(full.at("BIRTHDAY"), "v9");
    EXPECT_EQ(full.at("ORG_TITLE"), "v13");
    EXPECT_EQ(full.at("ADDRESS_HOME"), "v16");
    EXPECT_EQ(full.at("EMAIL_WORK"), "v20");
    EXPECT_EQ(sendInt("getcontactCount;"), 14);

    EXPECT_EQ(sendInt("ClearPerson;"), 1);
    EXPECT_EQ(sendInt("getcontactCount;"), 0);
    EXPECT_EQ(asInt64(send("AddPerson:4142:;")), 15) << "ids are not reused";
}

TEST_F(Companion, ApplicationsFollowThePackageManager) {
    const int32_t count = sendInt("getappcount;");
    ASSERT_GT(count, 4);
    std::set<std::string> packages;
    for (int i = 0; i < count; ++i) {
        const std::string reply = send("getappindexinfo:" + std::to_string(i) + ";");
        ASSERT_LE(reply.size(), 1023u);
        const auto r = records(reply);
        ASSERT_EQ(r.size(), 1u);
        packages.insert(r[0].at("PKG"));
        EXPECT_EQ(std::stoll(r[0].at("TOTALSIZE")),
                  std::stoll(r[0].at("CACHSEZE")) + std::stoll(r[0].at("DATASIZE")) + std::stoll(r[0].at("CODESIZE")));
        if (r[0].at("SYSTEMAPP") == "0") {
            // User apps are installed on the phone with their package file.
            EXPECT_TRUE(device->hasPackage(r[0].at("PKG")));
            EXPECT_TRUE(device->files.stat("/data/app/" + r[0].at("PKG") + "-1.apk"));
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
    bool companionListed = false;
    for (int i = 0; i < count + 1; ++i) {
        const std::string reply = send("getappindexinfo:" + std::to_string(i) + ";");
        ASSERT_LE(reply.size(), 1023u);
        const auto r = records(reply);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_NE(r[0].at("PKG"), gone);
        companionListed = companionListed || r[0].at("PKG") == kCompanionPackage;
    }
    EXPECT_TRUE(companionListed);
}

TEST_F(Companion, MediaCatalogueAndReading) {
    struct Kind {
        const char *count, *info, *path, *read, *thumb;
    };
    const Kind kinds[] = {{"getdcimcount;", "getdcimindexinfo", "getfilepathForid", "getdcimdata", "getdcimthumb"},
                          {"getmusiccount;", "getmusicindexinfo", "GetMusicPathById", "exportfilefromdevice_music", nullptr},
                          {"getvideocount;", "getvideoindexinfo", "GetVideoPathById", "exportfilefromdevice_video", nullptr}};
    const int expected[] = {5, 4, 2};
    for (int k = 0; k < 3; ++k) {
        const Kind& kind = kinds[k];
        ASSERT_EQ(sendInt(kind.count), expected[k]);
        for (int i = 0; i < expected[k]; ++i) {
            const std::string reply = send(std::string(kind.info) + ":" + std::to_string(i) + ";");
            ASSERT_LE(reply.size(), 1023u);
            const Record item = records(reply).at(0);
            const std::string id = item.at("ID");
            const std::string path = send(std::string(kind.path) + ":" + id + ";");
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
            std::string copy;
            auto readAt = [&](size_t offset) {
                return send(std::string(kind.read) + ":" + id + ":" + std::to_string(offset) + ":4000;");
            };
            while (copy.size() < bytes->size()) {
                const std::string chunk = readAt(copy.size());
                ASSERT_FALSE(chunk.empty());
                ASSERT_LE(chunk.size(), 4000u);
                copy += chunk;
            }
            EXPECT_EQ(copy, *bytes);
            EXPECT_EQ(asInt(readAt(copy.size())), 0);
        }
        EXPECT_EQ(send(std::string(kind.info) + ":" + std::to_string(expected[k]) + ";"), "");
        EXPECT_EQ(send(std::string(kind.path) + ":999;"), "");
        EXPECT_EQ(sendInt(std::string(kind.read) + ":999:0:10;"), -1);
        EXPECT_EQ(sendInt(std::string(kind.read) + ":1:-1:10;"), -1);
        EXPECT_EQ(sendInt(std::string(kind.read) + ":1:0:0;"), -1);
    }
    // A 64-bit offset is read whole.
    EXPECT_EQ(sendInt("exportfilefromdevice_music:1:5000000000:10240;"), 0);

    const std::string thumb = send("getdcimthumb:1;");
    EXPECT_GT(thumb.size(), 4u);
    EXPECT_EQ(thumb.substr(1, 3), "PNG");
    EXPECT_EQ(sendInt("getdcimthumb:999;"), -1);
    const Record track = records(send("getmusicindexinfo:0;")).at(0);
    const std::string cover = send("getmusicthumb:" + track.at("ID") + ":" + track.at("ALBUMID") + ";");
    EXPECT_EQ(cover.substr(1, 3), "PNG");
    EXPECT_EQ(send("getmusicthumb:" + track.at("ID") + ":999;"), cover) << "falls back to the track's album";
    EXPECT_EQ(sendInt("getmusicthumb:999:999;"), -1);
}

TEST_F(Companion, MediaDeleteAndRefresh) {
    const Record first = records(send("getdcimindexinfo:0;")).at(0);
    const std::string file = "/sdcard" + first.at("PATH").substr(19);
    EXPECT_EQ(sendInt("deletephoto:" + first.at("ID") + ";"), 1);
    EXPECT_FALSE(device->files.stat(file));
    EXPECT_EQ(sendInt("getdcimcount;"), 4);
    EXPECT_EQ(sendInt("deletephoto:" + first.at("ID") + ";"), -1);

    // A file removed behind the app's back leaves the list at the next refresh.
    const Record video = records(send("getvideoindexinfo:1;")).at(0);
    device->files.remove("/sdcard" + video.at("PATH").substr(19));
    EXPECT_EQ(sendInt("getvideocount;"), 2);
    EXPECT_EQ(sendInt("flushvideolist;"), 1);
    EXPECT_NE(records(send("getvideoindexinfo:0;")).at(0).at("ID"), video.at("ID"));

    const Record track = records(send("getmusicindexinfo:0;")).at(0);
    EXPECT_EQ(sendInt("ClearMusic;"), 1);
    EXPECT_EQ(sendInt("getmusiccount;"), 0);
    EXPECT_FALSE(device->files.stat("/sdcard" + track.at("PATH").substr(19)));
    EXPECT_EQ(sendInt("deletevideofromdevice:" + records(send("getvideoindexinfo:0;")).at(0).at("ID") + ";"), 1);
    EXPECT_EQ(sendInt("ClearPhotos;"), 1);
    EXPECT_EQ(sendInt("getdcimcount;"), 0);
}

TEST_F(Companion, WriteSessionsCreateFiles) {
    EXPECT_EQ(sendInt("checkFileisExist:a.png;"), 0);
    EXPECT_EQ(send("write_photofile:3;", "abc"), "") << "no session: the chunk is not taken";

    std::string content;
    for (int i = 0; i < 70000; ++i) content.push_back(static_cast<char>(i * 7 % 251));
    EXPECT_EQ(sendInt("open_photofile:" + hexEncode("a.png") + ";"), 1);
    EXPECT_EQ(sendInt("write_photofile:40000;", content.substr(0, 40000)), 40000);
    EXPECT_EQ(sendInt("write_photofile:30000;", content.substr(40000)), 30000);
    EXPECT_EQ(sendInt("close_photofile;"), 1);
    EXPECT_EQ(sendInt("close_photofile;"), -1);
    EXPECT_EQ(device->files.read("/sdcard/Images/a.png"), std::optional<std::string>(content));
    EXPECT_EQ(sendInt("checkFileisExist:a.png;"), 1);
    EXPECT_EQ(sendInt("checkMusicFileisExist:a.png;"), 0) << "each kind has its folder";

    EXPECT_EQ(sendInt("getdcimcount;"), 5);
    EXPECT_EQ(sendInt("addphototodevice:" + hexEncode("a.png") + ";"), 1);
    EXPECT_EQ(sendInt("getdcimcount;"), 6);
    const Record added = records(send("getdcimindexinfo:5;")).at(0);
    EXPECT_EQ(added.at("PATH"), "/storage/emulated/0/Images/a.png");
    EXPECT_EQ(added.at("TILTE"), "a");
    EXPECT_EQ(added.at("SIZE"), "70000");
    EXPECT_EQ(send("getdcimdata:" + added.at("ID") + ":69990:4096;"), content.substr(69990));
    // Announcing the same file again updates it in place.
    EXPECT_EQ(sendInt("addphototodevice:" + hexEncode("a.png") + ";"), 1);
    EXPECT_EQ(sendInt("getdcimcount;"), 6);

    // A pushed file announced by name (the adb route) joins the list the same way.
    device->files.write("/sdcard/Music/song.wav", "RIFF....WAVE");
    EXPECT_EQ(sendInt("checkMusicFileisExist:song.wav;"), 1);
    EXPECT_EQ(sendInt("addmusictodevice:" + hexEncode("song.wav") + ";"), 1);
    EXPECT_EQ(sendInt("addmusictodevice:" + hexEncode("missing.wav") + ";"), -1);
    EXPECT_EQ(sendInt("getmusiccount;"), 5);

    // An abandoned upload leaves nothing behind.
    EXPECT_EQ(sendInt("open_videofile:" + hexEncode("clip.avi") + ";"), 1);
    EXPECT_EQ(sendInt("write_videofile:4;", "data"), 4);
    EXPECT_EQ(sendInt("close_videofile;"), 1);
    EXPECT_EQ(sendInt("addvideotodevice_abort:" + hexEncode("clip.avi") + ";"), 1);
    EXPECT_FALSE(device->files.stat("/sdcard/Videos/clip.avi"));
    EXPECT_EQ(sendInt("getvideocount;"), 2);

    // Names stay inside their folder.
    for (const std::string bad : {"", "../x", "/etc/x", "a//b", "a/./b"}) {
        EXPECT_EQ(sendInt("checkFileisExist:" + bad + ";"), -1) << bad;
        EXPECT_EQ(sendInt("open_Musicfile:" + hexEncode(bad) + ";"), -1) << bad;
    }
    EXPECT_EQ(sendInt("open_Musicfile:4;"), -1) << "not hex";
    EXPECT_EQ(sendInt("checkFileisExist:sub/a.png;"), 0);
}

TEST(CompanionRequest, NamesArgumentsAndPayloadSizes) {
    const Request r = makeRequest("UpdatePerson:57:58:ORGANZATION;");
    EXPECT_EQ(r.name, "UpdatePerson");
    EXPECT_EQ(r.args, "57:58:ORGANZATION");
    EXPECT_EQ(makeRequest("hello-transfer;").name, "hello-transfer");
    EXPECT_EQ(makeRequest("hello-transfer;").args, "");
    EXPECT_EQ(commandName("getsmsPart10:5;"), "getsmsPart10");

    EXPECT_EQ(payloadLength(makeRequest("write_photofile:102400;")), 102400);
    EXPECT_EQ(payloadLength(makeRequest("write_musicfile:1;")), 1);
    EXPECT_EQ(payloadLength(makeRequest("write_videofile:0;")), 0);
    EXPECT_EQ(payloadLength(makeRequest("write_videofile:-3;")), 0);
    EXPECT_EQ(payloadLength(makeRequest("write_videofile:abc;")), 0);
    EXPECT_EQ(payloadLength(makeRequest("write_videofile:999999999999;")), -1);
    EXPECT_EQ(payloadLength(makeRequest("getsmsPart10:5;")), 0);

    auto device = std::make_shared<zsim::Device>("S", 1);
    CompanionState state(*device);
    EXPECT_EQ(asInt(state.handle(makeRequest("sync_zentrolink_Start;"))), 1);
    EXPECT_EQ(asInt(state.handle(makeRequest("sync_zentrolink_Update:a:b:5;"))), 1);
    EXPECT_EQ(asInt(state.handle(makeRequest("sync_zentrolink_Update:nonumber;"))), -1);
    CompanionState::Markers m = state.markers();
    EXPECT_TRUE(m.active);
    EXPECT_EQ(m.updates, 1);
    EXPECT_EQ(m.lastText, "a:b");
    EXPECT_EQ(m.lastNumber, 5);
    EXPECT_EQ(asInt(state.handle(makeRequest("sync_zentrolink_End;"))), 1);
    EXPECT_FALSE(state.markers().active);
}
