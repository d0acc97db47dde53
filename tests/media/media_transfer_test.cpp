// Downloads and phone-to-phone copies against scripted companions: the chunk plans, the rule
// that tells a file's short tail from a status, the USB route's path handling, abort.
#include "media/transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "core/test_seams.h"
#include "media_companion.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;
using mediatest::littleEndian;
using mediatest::parseRead;

namespace {

class MediaTransferTest : public linktest::LinkTest {
protected:
    void TearDown() override {
        core::setAllocatorForTests(nullptr);
        LinkTest::TearDown();
    }
};

struct ReadSeen {
    mediatest::ReadCommand read;
    int32_t progress; // the progress the host could read while this chunk was asked for
};

// A companion that serves `file` to reads of `word` and notes the progress at each read.
struct ServingCompanion {
    ServingCompanion(std::string word, std::string file, media::MediaKind kind)
        : peer(mediatest::serving([this, word, file, kind](const std::string& command, const std::string&) {
            auto read = parseRead(command, word);
            if (!read) return std::optional<std::string>(littleEndian(-1));
            std::lock_guard<std::mutex> guard(mutex);
            seen.push_back({*read, media::transferState(kind).progress.load()});
            return std::optional<std::string>(mediatest::serveRead(*read, file));
        })) {}
    std::vector<ReadSeen> reads() {
        std::lock_guard<std::mutex> guard(mutex);
        return seen;
    }
    std::mutex mutex;
    std::vector<ReadSeen> seen;
    LoopbackPeer peer;
};

void* smallAllocations(size_t size) { return size > 4096 ? nullptr : std::malloc(size); }

} // namespace

TEST_F(MediaTransferTest, ChannelDownloadsAskInTheKindsChunkPlan) {
    const std::string photo = mediatest::patternBytes(10000);
    ServingCompanion photoPhone("getdcimdata", photo, media::MediaKind::Photo);
    mediatest::rowReaches(0, photoPhone.peer.port());
    const std::string out = temp.file("photo.jpg");
    ASSERT_EQ(Zentro_ExportPhotofromDevice2(7, out.c_str(), 10000, 0), 0);
    const auto reads = photoPhone.reads();
    ASSERT_EQ(reads.size(), 3u);
    const long long offsets[] = {0, 4096, 8192}, counts[] = {4096, 4096, 1808};
    const int32_t progress[] = {0, 40, 81};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(reads[i].read.id, 7);
        EXPECT_EQ(reads[i].read.offset, offsets[i]);
        EXPECT_EQ(reads[i].read.count, counts[i]);
        EXPECT_EQ(reads[i].progress, progress[i]);
    }
    EXPECT_EQ(Zentro_GetPhotoProgress(), 100);
    EXPECT_EQ(ztest::readFile(out), photo);

    // Music and video read 10,240 bytes at a time, or the whole shared buffer when it is smaller.
    const std::string track = mediatest::patternBytes(25000, 3);
    ServingCompanion musicPhone("exportfilefromdevice_music", track, media::MediaKind::Music);
    mediatest::rowReaches(1, musicPhone.peer.port());
    ASSERT_EQ(Zentro_ExportMusicfromDevice(2, out.c_str(), 25000, 1), 0); // WiFi row: channel route
    std::vector<long long> counts10k;
    for (const ReadSeen& r : musicPhone.reads()) counts10k.push_back(r.read.count);
    EXPECT_EQ(counts10k, (std::vector<long long>{10240, 10240, 4520}));
    EXPECT_EQ(ztest::readFile(out), track);

    ztest::resetLibraryState();
    core::setAllocatorForTests(smallAllocations); // the shared buffer ends at 4,096 bytes
    ServingCompanion smallBuffer("exportfilefromdevice_video", track, media::MediaKind::Video);
    mediatest::rowReaches(0, smallBuffer.peer.port());
    ASSERT_EQ(Zentro_ExportVideofromDevice2(2, out.c_str(), 10000, 0), 0);
    std::vector<long long> counts4k;
    for (const ReadSeen& r : smallBuffer.reads()) counts4k.push_back(r.read.count);
    EXPECT_EQ(counts4k, (std::vector<long long>{4096, 4096, 1808}));
    EXPECT_EQ(ztest::readFile(out), track.substr(0, 10000));
}

TEST_F(MediaTransferTest, ShortTailsArriveWholeWhileStatusesEndTheDownload) {
    // Tails of 1 to 4 bytes: data, because they end exactly at the file size.
    for (size_t tail : {1u, 3u, 4u}) {
        const std::string photo = mediatest::patternBytes(8192 + tail, static_cast<int>(tail));
        ServingCompanion phone("getdcimdata", photo, media::MediaKind::Photo);
        mediatest::rowReaches(0, phone.peer.port());
        const std::string out = temp.file("tail.jpg");
        ASSERT_EQ(Zentro_ExportPhotofromDevice2(1, out.c_str(), static_cast<int64_t>(photo.size()), 0), 0);
        EXPECT_EQ(ztest::readFile(out), photo) << "tail of " << tail;
        link::closeChannel(0);
    }

    // A size of 0 counts as 1: the file is created and one byte at offset 0 is asked for.
    {
        const std::string one = "Z";
        ServingCompanion phone("getdcimdata", one, media::MediaKind::Photo);
        mediatest::rowReaches(0, phone.peer.port());
        const std::string out = temp.file("one.jpg");
        ASSERT_EQ(Zentro_ExportPhotofromDevice2(1, out.c_str(), 0, 0), 0);
        ASSERT_EQ(phone.reads().size(), 1u);
        EXPECT_EQ(phone.reads()[0].read.offset, 0);
        EXPECT_EQ(phone.reads()[0].read.count, 1);
        EXPECT_EQ(ztest::readFile(out), one);
        link::closeChannel(0);
    }

    // A 4-byte status in the middle of the file ends the loop: what came is kept, the result
    // is still 0, progress 100, and the log says how much arrived.
    const std::string photo = mediatest::patternBytes(10000);
    LoopbackPeer refusing(mediatest::serving([&](const std::string& command, const std::string&) {
        auto read = parseRead(command, "getdcimdata");
        if (read && read->offset == 0) return std::optional<std::string>(mediatest::serveRead(*read, photo));
        return std::optional<std::string>(littleEndian(-1));
    }));
    mediatest::rowReaches(0, refusing.port());
    const std::string out = temp.file("short.jpg");
    EXPECT_EQ(Zentro_ExportPhotofromDevice2(9, out.c_str(), 10000, 0), 0);
    EXPECT_EQ(ztest::readFile(out), photo.substr(0, 4096));
    EXPECT_EQ(Zentro_GetPhotoProgress(), 100);
    EXPECT_TRUE(logHas("ExportPhotofromDevice photo_id=9: 4096 of 10000 bytes arrived\n"));

    // No PC file, or one that cannot be created: -1 before anything is asked.
    EXPECT_EQ(Zentro_ExportPhotofromDevice2(9, "", 10000, 0), -1);
    EXPECT_EQ(Zentro_ExportPhotofromDevice2(9, temp.file("no/such/folder.jpg").c_str(), 10000, 0), -1);
    EXPECT_EQ(refusing.commands().size(), 2u);
}

TEST_F(MediaTransferTest, PhoneToPhoneReadsFromSourceAndWritesTheSessionOnDestination) {
    const std::string video = mediatest::patternBytes(20483, 5); // ends in a 3-byte tail
    ServingCompanion source("exportfilefromdevice_video", video, media::MediaKind::Video);
    std::string stored;
    LoopbackPeer destination(mediatest::serving([&](const std::string& command, const std::string& payload) {
        if (command.rfind("write_videofile:", 0) == 0) {
            stored += payload;
            return std::optional<std::string>(littleEndian(static_cast<int32_t>(payload.size())));
        }
        return std::optional<std::string>(littleEndian(1));
    }));
    mediatest::rowReaches(0, source.peer.port());
    mediatest::rowReaches(1, destination.port());

    ASSERT_EQ(Zentro_TransferVideofromDevice(4, "clip.avi", 20483, 0, 1), 0);
    EXPECT_EQ(stored, video);
    EXPECT_EQ(Zentro_GetVideoProgressSize(), 20483);
    EXPECT_EQ(Zentro_GetVideoProgress(), 0); // a copy between phones leaves the percentage alone
    for (const ReadSeen& r : source.reads()) EXPECT_EQ(r.read.count, 10240); // never shrunk
    EXPECT_EQ(source.reads().size(), 3u);
    const std::vector<std::string> session = destination.commands();
    ASSERT_EQ(session.size(), 6u);
    EXPECT_EQ(session.front(), "open_videofile:636C69702E617669;");
    EXPECT_EQ(session[1], "write_videofile:10240;");
    EXPECT_EQ(session[3], "write_videofile:3;");
    EXPECT_EQ(session[4], "close_videofile;");
    EXPECT_EQ(session.back(), "addvideotodevice:636C69702E617669;");
    for (const std::string& c : source.peer.commands())
        EXPECT_EQ(c.rfind("exportfilefromdevice_video:4:", 0), 0u);
}

TEST_F(MediaTransferTest, AbortFromAHostThreadEndsADownloadWithItsFirstChunksOnDisk) {
    // Ten chunks of 4,096 bytes; every read after the first waits until the host has aborted.
    const std::string photo = mediatest::patternBytes(40960, 5);
    std::atomic<bool> aborted{false};
    std::atomic<int> reads{0};
    LoopbackPeer phone(mediatest::serving([&](const std::string& command, const std::string&) {
        auto read = parseRead(command, "getdcimdata");
        if (!read) return std::optional<std::string>(littleEndian(-1));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        if (reads.fetch_add(1) > 0) {
            while (!aborted.load() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return std::optional<std::string>(mediatest::serveRead(*read, photo));
    }));
    mediatest::rowReaches(0, phone.port());

    std::vector<int32_t> progressSeen;
    std::thread host([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            const int32_t progress = Zentro_GetPhotoProgress();
            if (progress > 0) {
                progressSeen.push_back(progress);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Zentro_PhotoAbort();
        aborted.store(true);
    });
    const std::string out = temp.file("photo.jpg");
    const int32_t result = Zentro_ExportPhotofromDevice2(7, out.c_str(), 40960, 0);
    host.join();

    EXPECT_EQ(result, 0);
    ASSERT_EQ(progressSeen.size(), 1u);
    EXPECT_EQ(progressSeen[0], 10); // one chunk of ten
    // The chunk in flight when the flag went up is still written; nothing is asked after it.
    const std::string written = ztest::readFile(out);
    EXPECT_TRUE(written.size() == 4096 || written.size() == 8192) << written.size();
    EXPECT_EQ(written, photo.substr(0, written.size()));
    EXPECT_EQ(static_cast<size_t>(reads.load()), written.size() / 4096);
    EXPECT_EQ(Zentro_GetPhotoProgress(), 100); // a finished transfer, aborted or not
}
