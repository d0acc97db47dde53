// Applications: the detail record from a scripted companion. (What the application exports run
// through adb is checked with the other adb command lines.)
#include "apps/applications.h"

#include <gtest/gtest.h>

#include <cstring>

#include "../media/media_companion.h"
#include "companion/codec.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;

namespace {

using ApplicationsTest = linktest::LinkTest;

template <class Integer>
Integer at(const AppInfoRecord& app, size_t offset) { // packed: read by offset
    Integer value;
    std::memcpy(&value, reinterpret_cast<const char*>(&app) + offset, sizeof value);
    return value;
}

} // namespace

TEST_F(ApplicationsTest, DetailsComeFromTheFirstRecordCutToTheirFields) {
    // Every field with a value of its own; texts past their fields are cut.
    std::string reply;
    zsim::companion::RecordWriter first(reply);
    const std::pair<const char*, std::string> fields[] = {
        {"PKG", "com.a"},
        {"CLS", "com.a.Main"},
        {"APPNAME", std::string(260, 'L')},
        {"VERSION", "1.2"},
        {"VERSIONCODE", "12"},
        {"SYSTEMAPP", "1"},
        {"SDCARDAPP", "abc"},
        {"CACHSEZE", "3"},
        {"DATASIZE", "4"},
        {"CODESIZE", "5"},
        {"TOTALSIZE", "6"},
        {"INSTALLTIME", "1700000000123"},
        {"LASTUPDATETIME", "1700000000456"},
        {"PERMISSIONS", "p.read"}}; // the reply area holds 1,024 bytes
    for (const auto& [key, value] : fields) first.text(key, value);
    first.end();
    reply += "PKG:" + zsim::companion::hexEncode("com.b") + ";DATASIZE:3939;.";
    LoopbackPeer phone(mediatest::serving(
        [&](const std::string&, const std::string&) { return std::optional<std::string>(reply); }));
    mediatest::rowReaches(1, phone.port());
    AppInfoRecord app;
    std::memset(&app, 0x55, sizeof app);
    ASSERT_EQ(Zentro_GetAppInfo(&app, 4, 1), 0);
    EXPECT_EQ(phone.commands(), std::vector<std::string>{"getappindexinfo:4;"});
    EXPECT_STREQ(app.packageName, "com.a");
    EXPECT_STREQ(app.className, "com.a.Main");
    EXPECT_EQ(std::string(app.label), std::string(254, 'L'));
    EXPECT_STREQ(app.versionName, "1.2");
    const size_t numbers[] = {offsetof(AppInfoRecord, versionCode), offsetof(AppInfoRecord, systemApp),
                              offsetof(AppInfoRecord, onSdCard),    offsetof(AppInfoRecord, cacheSize),
                              offsetof(AppInfoRecord, dataSize),    offsetof(AppInfoRecord, codeSize),
                              offsetof(AppInfoRecord, totalSize)};
    const int32_t expected[] = {12, 1, 0, 3, 4, 5, 6};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(at<int32_t>(app, numbers[i]), expected[i]) << i;
    EXPECT_EQ(at<int64_t>(app, offsetof(AppInfoRecord, installTime)), 1700000000123LL);
    EXPECT_EQ(at<int64_t>(app, offsetof(AppInfoRecord, lastUpdateTime)), 1700000000456LL);
    EXPECT_STREQ(app.permissions, "p.read");
    EXPECT_EQ(app.reserved, 0);

    // No reply: -1 with the record all zero.
    link::closeChannel(1);
    core::deviceRow(1)->port = 1;
    timings_.sleepMs = [](int) {};
    link::setLinkTimingsForTests(timings_);
    std::memset(&app, 0x55, sizeof app);
    EXPECT_EQ(Zentro_GetAppInfo(&app, 0, 1), -1);
    const AppInfoRecord zero{};
    EXPECT_EQ(std::memcmp(&app, &zero, sizeof app), 0);
}
