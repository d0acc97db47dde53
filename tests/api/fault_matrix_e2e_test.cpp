// Faults end to end: every export family against every way a phone, its companion or adb can
// fail, through the real adb client and two virtual phones. Each cell must end with the
// family's failure result within a bound, and the same call must succeed once the fault is
// gone. The receive time-out is shortened so that time-outs cost a fraction of a second.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../link/loopback_peer.h"
#include "process_usage.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace {

constexpr const char* kSource = "ZX1G22ABCD000000";
constexpr const char* kDestination = "ZX1G22ABCD000001";
constexpr int kReceiveTimeoutMs = 300;
constexpr auto kCallBound = std::chrono::seconds(10);

enum class Fault {
    CloseMidReply,
    LengthOverCapacity,
    EmptyReply,
    DelayPastTimeout,
    HungAdb,
    Unplugged,
    CompanionStopped
};

const char* const kFaultNames[] = {
    "close mid reply", "length over capacity", "empty reply",      "delay past time-out",
    "hung adb",        "unplugged mid call",   "companion stopped"}; // in the order of Fault

struct Family {
    const char* name;
    const char* command;                   // the companion command the fault hits, on the source
    std::function<int64_t()> call;         // one call of the family's export
    int64_t done;                          // its result when all went well
    int64_t failed;                        // its result when the phone never answered
    int64_t empty;                         // its result for an empty reply
    std::function<bool()> whole = nullptr; // the content arrived complete (where it can be seen)
    int strikeAt = 1; // faults that strike during the call do so while this request is answered
    // The export reads its reply integer from whatever bytes arrived, even from an exchange that
    // failed: a reply cut short or longer than asked for still leaves the true value there.
    bool integerAsArrived = false;
};

class FaultMatrixE2e : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        phone_ = std::make_unique<ztest::VirtualPhone>(
            std::string(R"({"devices":[{"serial":")") + kSource +
            R"(","seed":5,"sizes":{"messages":23,"apps":12,"photos":6,"music":3}},{"serial":")" +
            kDestination + R"(","seed":6}]})");
        phone_->exportAdbPort();
        timings_.idleReadSleepMs = 10;
        timings_.forwardSleepMs = 10;
        timings_.socket.receiveTimeoutMs = kReceiveTimeoutMs;
        zentro::link::setLinkTimingsForTests(timings_);
        for (int index : {0, 1}) {
            ASSERT_EQ(Zentro_CheckDeviceDetected(index), 0);
            ASSERT_EQ(Zentro_ReadyTodoing(index), 0);
        }
    }
    void TearDown() override {
        ztest::resetLibraryState(); // channels closed while the phone still runs
        phone_.reset();
        LinkTest::TearDown();
    }

    std::string control(const std::string& line) { return phone_->control(line); }

    int requestsOf(const std::string& entry) {
        int count = 0;
        for (const std::string& logged : phone_->requestLog(kSource)) {
            if (logged.compare(0, entry.size(), entry) == 0 &&
                (logged.size() == entry.size() || logged[entry.size()] == ':' || logged[entry.size()] == ';'))
                ++count;
        }
        return count;
    }

    // Sets the fault up; for faults that strike while the call runs, starts the thread that
    // strikes (joined by disarm).
    void arm(Fault fault, const Family& family) {
        const char* command = family.command;
        const std::string on = std::string("fault ") + kSource + " " + command + " ";
        switch (fault) {
        case Fault::CloseMidReply: control(on + R"({"kind":"CloseMidBody"})"); break;
        case Fault::LengthOverCapacity: control(on + R"({"kind":"HugeLength"})"); break;
        case Fault::EmptyReply: control(on + R"({"kind":"Empty"})"); break;
        case Fault::DelayPastTimeout:
            control(on + R"({"delayMs":)" + std::to_string(kReceiveTimeoutMs * 2) + "}");
            break;
        case Fault::HungAdb:
            // The channel is dropped once, so the library must run adb to forward again, and
            // adb hangs until the phone lets it go.
            control(std::string("hang ") + kSource + " forward");
            control(on + R"({"kind":"Close","times":1})");
            striker_ = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(700));
                control(std::string("unhang ") + kSource);
            });
            break;
        case Fault::Unplugged:
        case Fault::CompanionStopped: {
            // Every answer is slowed (within the time-out); the fault strikes while the phone
            // works on the family's request number strikeAt.
            phone_->clearRequestLog(kSource);
            control(on + R"({"delayMs":150})");
            const std::string strike = fault == Fault::Unplugged
                                           ? std::string("state ") + kSource + " removed"
                                           : std::string("companion ") + kSource + " stop";
            const std::string entry = std::string("companion:") + command;
            striker_ = std::thread([this, strike, entry, count = family.strikeAt] {
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while (std::chrono::steady_clock::now() < giveUp && requestsOf(entry) < count)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                control(strike);
            });
            break;
        }
        }
    }

    void disarm() {
        if (striker_.joinable()) striker_.join();
        control(std::string("clearfaults ") + kSource);
        control(std::string("unhang ") + kSource);
        control(std::string("state ") + kSource + " device");
        control(std::string("companion ") + kSource + " start");
    }

    std::unique_ptr<ztest::VirtualPhone> phone_;
    std::thread striker_;
};

} // namespace

TEST_F(FaultMatrixE2e, EveryFamilyEndsWithItsFailureResultInTimeAndWorksOnceTheFaultIsGone) {
    ASSERT_GT(Zentro_FlushDevicesPhotos(0), 0);
    PhotoInfo photo{};
    ASSERT_EQ(Zentro_GetPhotoInfo(&photo, 0, 0), 0);
    const int64_t photoSize = ztest::mediaSize(photo);
    ASSERT_GT(Zentro_FlushDevicesMusic(0), 0);
    MusicInfo song{};
    ASSERT_EQ(Zentro_GetMusicInfo(&song, 0, 0), 0);
    const int64_t songSize = ztest::mediaSize(song);
    ASSERT_GT(photoSize, 3 * 4096) << "the photo must take four chunks or more";
    ASSERT_GT(songSize, 2 * 10240) << "the song must take three chunks or more";

    const std::string usbCopy = temp.file("usb.jpg");
    const std::string channelCopy = temp.file("channel.jpg");
    const std::string upload = temp.file("upload.jpg");
    ztest::writeFile(upload, std::string(250 * 1024, 'u')); // three chunks of the transfer buffer
    const int32_t apps = Zentro_GetAppCount(0);             // the seeded applications and the installed ones
    ASSERT_GE(apps, 12);
    const int32_t photoId = photo.id;
    const int32_t songId = song.id;

    const std::vector<Family> families = {
        {"message count", "getsmsCount", [] { return Zentro_FlushSMS_Count(0); }, 23, -1, -1},
        {"bulk refresh", "getsmsPart10",
         [] {
             Zentro_ResetFlushAllDBStatus();
             return Zentro_FlushSMSAll(0);
         },
         0, -1, -1, nullptr, 2},
        {"app list", "getappcount", [] { return Zentro_GetAppCount(0); }, apps, 0, 0, nullptr, 1, true},
        {"media catalogue", "getdcimindexinfo",
         [] {
             PhotoInfo info{};
             return Zentro_GetPhotoInfo(&info, 0, 0);
         },
         0, -1, -1},
        {"download over USB", "getfilepathForid",
         [&] {
             std::remove(usbCopy.c_str());
             return Zentro_ExportPhotofromDevice(photoId, usbCopy.c_str(), photoSize, 0);
         },
         0, -1, -1, [&] { return ztest::readFile(usbCopy).size() == static_cast<size_t>(photoSize); }},
        {"download over the channel", "getdcimdata",
         [&] { return Zentro_ExportPhotofromDevice2(photoId, channelCopy.c_str(), photoSize, 0); }, 0, 0, 0,
         [&] { return ztest::readFile(channelCopy).size() == static_cast<size_t>(photoSize); }, 3},
        {"upload over USB", "checkFileisExist",
         [&] { return Zentro_addPhoto(upload.c_str(), "fault matrix.jpg", 0); }, 0, -1, -1},
        {"upload over the channel", "write_photofile",
         [&] { return Zentro_addPhoto2(upload.c_str(), "fault matrix 2.jpg", 0); }, 0, 0, 0, nullptr, 2},
        {"phone to phone", "exportfilefromdevice_music",
         [&] { return Zentro_TransferMusicfromDevice(songId, "fault matrix.wav", songSize, 0, 1); }, 0, 0, 0,
         [&] { return Zentro_GetMusicProgressSize() == songSize; }, 3},
    };
    // Each family works before any fault, and the library holds its descriptors from here on.
    for (const Family& family : families) {
        SCOPED_TRACE(family.name);
        ASSERT_EQ(family.call(), family.done);
        if (family.whole) {
            ASSERT_TRUE(family.whole());
        }
    }
    const int descriptorsBefore = ztest::openDescriptors();

    using Clock = std::chrono::steady_clock;
    for (int f = 0; f <= static_cast<int>(Fault::CompanionStopped); ++f) {
        const Fault fault = static_cast<Fault>(f);
        for (const Family& family : families) {
            SCOPED_TRACE(std::string(family.name) + " / " + kFaultNames[f]);
            arm(fault, family);
            const auto start = Clock::now();
            const int64_t result = family.call();
            const auto elapsed = Clock::now() - start;
            const bool whole = family.whole ? family.whole() : false;
            disarm();

            const int64_t expected = fault == Fault::HungAdb      ? family.done
                                     : fault == Fault::EmptyReply ? family.empty
                                                                  : family.failed;
            const bool partReached = fault == Fault::CloseMidReply || fault == Fault::LengthOverCapacity;
            EXPECT_EQ(result, family.integerAsArrived && partReached ? family.done : expected);
            EXPECT_LT(elapsed, kCallBound);
            // The call waited for adb, so the hang was really met.
            if (fault == Fault::HungAdb) {
                EXPECT_GE(elapsed, std::chrono::milliseconds(600));
            }
            if (family.whole) {
                EXPECT_EQ(whole, fault == Fault::HungAdb) << "content complete after the fault";
            }

            const int64_t again = family.call();
            EXPECT_EQ(again, family.done) << "once the fault is gone";
            if (family.whole) {
                EXPECT_TRUE(family.whole()) << "once the fault is gone";
            }
        }
    }
    EXPECT_LE(ztest::openDescriptors(), descriptorsBefore + 2) << "descriptors left behind by the faults";
}
