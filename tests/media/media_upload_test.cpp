// Uploads, the streamed file channel and the session markers against scripted companions: the
// numbering of taken names, what each kind accepts as an answer, the chunk plan and its
// progress, abort, and where each command goes.
#include "media/upload.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "companion/codec.h"
#include "core/state.h"
#include "media_companion.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;
using mediatest::littleEndian;
using zsim::companion::hexEncode;

namespace {

class MediaUploadTest : public linktest::LinkTest {
protected:
    // Device index 0 as a USB phone whose companion is `phone` and whose adb is the recording child.
    void usbPhone(const LoopbackPeer& phone) {
        ztest::recordAdbRunsIn(temp.path());
        core::copyText(core::deviceRow(0)->serial, 64, "SER0");
        link::closeChannel(0); // the previous phone's connection
        mediatest::rowReaches(0, phone.port());
        core::deviceRow(0)->connectionKind = core::kConnectionUsb;
        link::ensureChannel(0, "127.0.0.1", phone.port());
    }
    // Device index 0 as a WiFi phone reached at `phone`.
    static void wifiPhone(const LoopbackPeer& phone) {
        link::closeChannel(0);
        mediatest::rowReaches(0, phone.port());
    }
};

// Answers name tests with the scripted integers in turn (then 0) and everything else with 1.
struct NameTestPhone {
    NameTestPhone(std::vector<std::string> answers)
        : peer(mediatest::serving([this, answers](const std::string& command, const std::string&) {
            if (command.find("Exist:") != std::string::npos) {
                std::lock_guard<std::mutex> guard(mutex);
                return std::optional<std::string>(asked < answers.size() ? answers[asked++]
                                                                         : littleEndian(0));
            }
            return std::optional<std::string>(littleEndian(1));
        })) {}
    std::mutex mutex;
    size_t asked = 0;
    LoopbackPeer peer;
};

} // namespace

TEST(MediaUploadNames, NumberGoesBeforeTheWholeExtensionOrAtTheEnd) {
    char out[64];
    const std::pair<const char*, const char*> cases[] = {
        {"IMG_1.jpg", "IMG_1(3).jpg"},
        {"clip.mpeg", "clip(3).mpeg"},
        {"a.b.c", "a.b(3).c"},
        {"notes", "notes(3)"},
        {".profile", ".profile(3)"},
        {"x.", "x(3)."},
        {"v.averyveryverylongext", "v(3).averyveryverylongext"},
    };
    for (const auto& [name, numbered] : cases) {
        ASSERT_TRUE(media::numberedName(out, sizeof out, name, 3)) << name;
        EXPECT_STREQ(out, numbered);
    }
    EXPECT_FALSE(media::numberedName(out, 8, "IMG_1.jpg", 1)); // never cut into another name
}

TEST_F(MediaUploadTest, TakenNamesAreNumberedInPlaceAndTheNoticeCarriesTheFinalName) {
    const std::string one = littleEndian(1);
    {
        NameTestPhone phone({one, one});
        usbPhone(phone.peer);
        ASSERT_EQ(Zentro_addPhoto("/pc/a.jpg", "a.jpg", 0), 0);
        const auto commands = phone.peer.commands();
        ASSERT_EQ(commands.size(), 4u);
        EXPECT_EQ(commands[0], "checkFileisExist:a.jpg;");
        EXPECT_EQ(commands[1], "checkFileisExist:a(1).jpg;");
        EXPECT_EQ(commands[2], "checkFileisExist:a(2).jpg;");
        EXPECT_EQ(commands[3], "addphototodevice:" + hexEncode("a(2).jpg") + ";");
        EXPECT_EQ(ztest::takeAdbRuns(), "-s|SER0|push|/pc/a.jpg|/sdcard/Images/a(2).jpg\n");
    }
    {
        NameTestPhone phone({one});
        usbPhone(phone.peer);
        ASSERT_EQ(Zentro_AddVideoToDevice("/pc/clip.mpeg", "clip.mpeg", 0), 0);
        EXPECT_EQ(phone.peer.commands()[1], "checkVideoFileisExist:clip(1).mpeg;");
        EXPECT_EQ(ztest::takeAdbRuns(), "-s|SER0|push|/pc/clip.mpeg|/sdcard/Videos/clip(1).mpeg\n");
    }
    {
        // Every name taken: ten tests, the tenth answer unread, the name numbered 9 pushed.
        NameTestPhone phone(std::vector<std::string>(20, one));
        usbPhone(phone.peer);
        ASSERT_EQ(Zentro_AddMusicToDevice("/pc/s.mp3", "s.mp3", 0), 0);
        EXPECT_EQ(phone.asked, 10u);
        EXPECT_EQ(phone.peer.commands()[9], "checkMusicFileisExist:s(9).mp3;");
        EXPECT_EQ(ztest::takeAdbRuns(), "-s|SER0|push|/pc/s.mp3|/sdcard/Music/s(9).mp3\n");
        EXPECT_EQ(phone.peer.commands().back(), "addmusictodevice:" + hexEncode("s(9).mp3") + ";");
    }
}

TEST_F(MediaUploadTest, ShortAnswersAndUnusableNamesPushNothing) {
    NameTestPhone phone({std::string(3, '\0'), std::string(3, '\0'), std::string(2, '\0')});
    usbPhone(phone.peer);
    EXPECT_EQ(Zentro_addPhoto("/pc/p.jpg", "p.jpg", 0), -1);         // a photo needs 4 bytes
    EXPECT_EQ(Zentro_AddMusicToDevice("/pc/m.mp3", "m.mp3", 0), -1); // so does a song
    EXPECT_EQ(ztest::takeAdbRuns(), "");
    EXPECT_EQ(Zentro_AddVideoToDevice("/pc/v.mp4", "v.mp4", 0), 0); // a video goes on
    EXPECT_EQ(ztest::takeAdbRuns(), "-s|SER0|push|/pc/v.mp4|/sdcard/Videos/v.mp4\n");

    const size_t asked = phone.peer.commands().size();
    for (const char* name : {"", "q\"x.jpg", "a;b.jpg", "../a.jpg"}) {
        EXPECT_EQ(Zentro_addPhoto("/pc/p.jpg", name, 0), -1) << name;
    }
    EXPECT_EQ(Zentro_addPhoto("/pc/p.jpg", nullptr, 0), -1);
    EXPECT_EQ(Zentro_addPhoto("/pc/p.jpg", (std::string(495, 'n') + ".jpg").c_str(), 0), -1);
    EXPECT_EQ(Zentro_addPhoto("/pc/p.jpg", "p.jpg", 10), -1); // no such row
    EXPECT_EQ(phone.peer.commands().size(), asked);
    EXPECT_EQ(ztest::takeAdbRuns(), "");
}

namespace {

struct Upload {
    std::vector<size_t> chunks;
    std::vector<int32_t> progressAtNextCommand;
    std::string stored;
    std::vector<std::string> commands;
};

// A companion that stores writes, acknowledges with 4 bytes and notes the photo progress a host
// could read when each command after the first write arrived.
struct StoringPhone {
    explicit StoringPhone(int abortAfterWrites = 0)
        : peer(mediatest::serving(
              [this, abortAfterWrites](const std::string& command, const std::string& payload) {
                  std::lock_guard<std::mutex> guard(mutex);
                  if (!seen.chunks.empty()) seen.progressAtNextCommand.push_back(Zentro_GetPhotoProgress());
                  if (command.rfind("write_photofile:", 0) == 0) {
                      seen.chunks.push_back(payload.size());
                      seen.stored += payload;
                      if (static_cast<int>(seen.chunks.size()) == abortAfterWrites) Zentro_PhotoAbort();
                  }
                  return std::optional<std::string>(littleEndian(0));
              })) {}
    Upload result() {
        std::lock_guard<std::mutex> guard(mutex);
        seen.commands = peer.commands();
        return seen;
    }
    std::mutex mutex;
    Upload seen;
    LoopbackPeer peer;
};

} // namespace

TEST_F(MediaUploadTest, ChannelUploadSendsWholeBufferChunksWithProgress) {
    const std::string name = "IMG_7.jpg", open = "open_photofile:" + hexEncode(name) + ";";
    const std::string file = temp.file("big.jpg"), bytes = mediatest::patternBytes(250000, 9);
    ztest::writeFile(file, bytes);
    {
        StoringPhone phone;
        wifiPhone(phone.peer); // the plain export streams for a WiFi row
        ASSERT_EQ(Zentro_addPhoto(file.c_str(), name.c_str(), 0), 0);
        const Upload up = phone.result();
        EXPECT_EQ(up.chunks, (std::vector<size_t>{102400, 102400, 45200}));
        EXPECT_EQ(up.stored, bytes);
        EXPECT_EQ(up.progressAtNextCommand, (std::vector<int32_t>{40, 81, 100, 100}));
        EXPECT_EQ(Zentro_GetPhotoProgress(), 100);
        ASSERT_EQ(up.commands.size(), 6u);
        EXPECT_EQ(up.commands.front(), open);
        EXPECT_EQ(up.commands[4], "close_photofile;");
        EXPECT_EQ(up.commands[5], "addphototodevice:" + hexEncode(name) + ";");
    }
    {
        StoringPhone phone(1);
        wifiPhone(phone.peer);
        ASSERT_EQ(Zentro_addPhoto2(file.c_str(), name.c_str(), 0), 0);
        const Upload up = phone.result();
        EXPECT_EQ(up.chunks.size(), 1u);
        EXPECT_EQ(up.commands.back(), "addphototodevice_abort:" + hexEncode(name) + ";");
        EXPECT_EQ(up.commands[up.commands.size() - 2], "close_photofile;");
        EXPECT_EQ(Zentro_GetPhotoProgress(), 40);
    }
    {
        const std::string empty = temp.file("empty.jpg");
        ztest::writeFile(empty, "");
        StoringPhone phone;
        wifiPhone(phone.peer);
        ASSERT_EQ(Zentro_addPhoto2(empty.c_str(), name.c_str(), 0), 0);
        EXPECT_EQ(phone.result().commands,
                  (std::vector<std::string>{open, "close_photofile;",
                                            "addphototodevice:" + hexEncode(name) + ";"}));

        // Nothing is sent for a file that cannot be read or a name the commands cannot carry.
        EXPECT_EQ(Zentro_addPhoto2(nullptr, name.c_str(), 0), -1);
        EXPECT_EQ(Zentro_addPhoto2(temp.file("missing.jpg").c_str(), name.c_str(), 0), -1);
        EXPECT_EQ(Zentro_addPhoto2(file.c_str(), std::string(511, 'n').c_str(), 0), -1);
        EXPECT_EQ(phone.result().commands.size(), 3u);
    }
}
