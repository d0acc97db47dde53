// Media and applications end to end: the real adb client, two virtual phones behind it, their
// companions on the forwarded ports 30148 and 30149. The phones' own files are rebuilt here
// from the same seeds, so every copy is compared with what the phone holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "../link/loopback_peer.h"
#include "bridge/adb_runner.h"
#include "media_companion.h"
#include "reference_phone.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

constexpr const char* kSerials[2] = {"ZX1G22ABCD000000", "ZX1G22ABCD000001"};
constexpr uint32_t kSeeds[2] = {41, 42};

std::string scenario() {
    std::string devices;
    for (int i = 0; i < 2; ++i) {
        devices += std::string(i ? "," : "") + R"({"serial":")" + kSerials[i] + R"(","seed":)" +
                   std::to_string(kSeeds[i]) + "}";
    }
    return R"({"devices":[)" + devices + "]}";
}

// A phone's content as the virtual phone generates it from its seed.
struct ReferencePhone : ztest::ReferencePhone {
    explicit ReferencePhone(int index)
        : ztest::ReferencePhone(kSerials[index], kSeeds[index]) {}
};

struct Item {
    int32_t id = 0;
    int64_t size = 0;
    std::string path;
};

template <class Info>
Item itemOf(const Info& info) {
    Item item;
    item.id = info.id;
    item.size = ztest::mediaSize(info);
    item.path = info.path;
    return item;
}

class MediaE2e : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        phone_ = std::make_unique<ztest::VirtualPhone>(scenario());
        phone_->exportAdbPort();
        for (int index : {0, 1}) {
            ASSERT_EQ(Zentro_CheckDeviceDetected(index), 0);
            ASSERT_EQ(Zentro_ReadyTodoing(index), 0);
        }
    }
    std::unique_ptr<ztest::VirtualPhone> phone_;
    ztest::ScratchFolder scratch_;
};

Item photoAt(int position, int index) {
    PhotoInfo info{};
    EXPECT_EQ(Zentro_GetPhotoInfo(&info, position, index), 0);
    return itemOf(info);
}
Item musicAt(int position, int index) {
    MusicInfo info{};
    EXPECT_EQ(Zentro_GetMusicInfo(&info, position, index), 0);
    return itemOf(info);
}
Item videoAt(int position, int index) {
    VideoInfo info{};
    EXPECT_EQ(Zentro_GetVideoInfo(&info, position, index), 0);
    return itemOf(info);
}

} // namespace

TEST_F(MediaE2e, EveryKindDownloadsWholeOverUsbAndOverTheChannel) {
    ReferencePhone reference(0);
    ASSERT_GT(Zentro_FlushDevicesPhotos(0), 0);
    ASSERT_GT(Zentro_FlushDevicesMusic(0), 0);
    ASSERT_GT(Zentro_FlushDevicesVideo(0), 0);
    ASSERT_GT(Zentro_GetPhotoCount(0), 0);

    using Export = int32_t (*)(int32_t, const char*, int64_t, int32_t);
    struct Case {
        const char* kind;
        Item item;
        Export usb, channel;
    };
    const Case cases[] = {
        {"photo", photoAt(0, 0), Zentro_ExportPhotofromDevice, Zentro_ExportPhotofromDevice2},
        {"music", musicAt(0, 0), Zentro_ExportMusicfromDevice, Zentro_ExportMusicfromDevice2},
        {"video", videoAt(0, 0), Zentro_ExportVideofromDevice, Zentro_ExportVideofromDevice2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string phoneBytes = reference.fileAt(c.item.path);
        ASSERT_EQ(static_cast<int64_t>(phoneBytes.size()), c.item.size);
        const std::string viaAdb = scratch_.file(std::string(c.kind) + ".usb");
        const std::string viaChannel = scratch_.file(std::string(c.kind) + ".channel");
        ASSERT_EQ(c.usb(c.item.id, viaAdb.c_str(), c.item.size, 0), 0);
        ASSERT_EQ(c.channel(c.item.id, viaChannel.c_str(), c.item.size, 0), 0);
        EXPECT_TRUE(ztest::readFile(viaAdb) == phoneBytes);
        EXPECT_TRUE(ztest::readFile(viaChannel) == phoneBytes);
    }
    EXPECT_EQ(Zentro_GetVideoProgress(), 100);

    char* picture = nullptr;
    const int32_t pictureBytes = Zentro_GetPhotoThumb(&picture, cases[0].item.id, 0);
    ASSERT_GT(pictureBytes, 8);
    EXPECT_EQ(std::string(picture + 1, 3), "PNG");
}

namespace {

// A file pulled from the phone with the real adb client, as a person would check an upload.
std::string pulledFromPhone(const std::string& phonePath, const std::string& out) {
    const std::string args = std::string("-s ") + kSerials[0] + " pull \"" + phonePath + "\" \"" + out + "\"";
    bridge::runAdb(args.c_str());
    return ztest::fileExists(out) ? ztest::readFile(out) : "<not pulled>";
}

} // namespace

TEST_F(MediaE2e, UploadsOverUsbAndTheChannelLandInTheKindsFolder) {
    using Upload = int32_t (*)(const char*, const char*, int32_t);
    struct Case {
        const char* extension;
        const char* folder;
        size_t size;
        Upload usb, channel;
    };
    const Case cases[] = {
        {".jpg", "/sdcard/Images/", 250000, Zentro_addPhoto, Zentro_addPhoto2},
        {".mp3", "/sdcard/Music/", 1000003, Zentro_AddMusicToDevice, Zentro_AddMusicToDevice2},
        {".mp4", "/sdcard/Videos/", 2 * 1024 * 1024 + 1, Zentro_AddVideoToDevice, Zentro_AddVideoToDevice2},
    };
    int salt = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        const std::string bytes = mediatest::patternBytes(c.size, ++salt);
        const std::string pcFile = scratch_.file(std::string("source") + c.extension);
        ztest::writeFile(pcFile, bytes);
        const std::string viaUsb = std::string("pushed") + c.extension;
        const std::string viaChannel = std::string("streamed") + c.extension;
        ASSERT_EQ(c.usb(pcFile.c_str(), viaUsb.c_str(), 0), 0);
        ASSERT_EQ(c.channel(pcFile.c_str(), viaChannel.c_str(), 0), 0);
        EXPECT_TRUE(pulledFromPhone(c.folder + viaUsb, scratch_.file("back-usb")) == bytes);
        EXPECT_TRUE(pulledFromPhone(c.folder + viaChannel, scratch_.file("back-channel")) == bytes);

        // The name is taken now: the second push gets the first free number.
        const std::string other = mediatest::patternBytes(1000, salt + 10);
        ztest::writeFile(pcFile, other);
        ASSERT_EQ(c.usb(pcFile.c_str(), viaUsb.c_str(), 0), 0);
        const std::string numbered = std::string("pushed(1)") + c.extension;
        EXPECT_TRUE(pulledFromPhone(c.folder + numbered, scratch_.file("back-numbered")) == other);
        EXPECT_TRUE(pulledFromPhone(c.folder + viaUsb, scratch_.file("back-first")) == bytes);
    }
}
