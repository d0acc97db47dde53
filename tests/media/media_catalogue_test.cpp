// The catalogue against a scripted companion: item details into the packed host records,
// thumbnails into the shared reply buffer, the integer-reply commands.
#include "media/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>

#include "media_companion.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;
using mediatest::littleEndian;

namespace {

class MediaCatalogueTest : public linktest::LinkTest {};

LoopbackPeer::Handler replying(std::string body) {
    return mediatest::serving(
        [body](const std::string&, const std::string&) { return std::optional<std::string>(body); });
}

} // namespace

TEST_F(MediaCatalogueTest, DetailsFillOnlyWhatTheReplyCarries) {
    // ID "12", TILTE "Sea", an "id" key in the wrong case, then a PATH without its ";".
    LoopbackPeer photoPhone(replying("ID:3132;TILTE:536561;id:3939;PATH:2F61"));
    mediatest::rowReaches(0, photoPhone.port());
    PhotoInfo photo;
    std::memset(&photo, 0x41, sizeof photo);
    photo.path[sizeof photo.path - 1] = '\0';
    const int64_t hostSize = 0x4141414141414141LL;
    ASSERT_EQ(Zentro_GetPhotoInfo(&photo, 2, 0), 0);
    EXPECT_EQ(photoPhone.commands(), std::vector<std::string>{"getdcimindexinfo:2;"});
    EXPECT_EQ(photo.id, 12);
    EXPECT_STREQ(photo.title, "Sea");
    EXPECT_EQ(std::string(photo.path), std::string(1023, 'A')); // the unfinished field is dropped
    EXPECT_EQ(ztest::mediaSize(photo), hostSize);

    // Music: ALBUMID lands in the second field although it comes late; fields after the first
    // record end are ignored; a title longer than its field is cut to it.
    const std::string longTitle(300, 'T');
    LoopbackPeer musicPhone(replying("ID:37;TILTE:" + zsim::companion::hexEncode(longTitle) +
                                     ";DURATION:31303030;ALBUMID:3435;.ALBUMID:39;"));
    mediatest::rowReaches(1, musicPhone.port());
    MusicInfo music{};
    ASSERT_EQ(Zentro_GetMusicInfo(&music, 0, 1), 0);
    EXPECT_EQ(music.id, 7);
    EXPECT_EQ(music.albumId, 45);
    EXPECT_EQ(std::string(music.title), longTitle.substr(0, 255));
    int64_t duration;
    std::memcpy(&duration, reinterpret_cast<const char*>(&music) + offsetof(MusicInfo, duration),
                sizeof duration);
    EXPECT_EQ(duration, 1000);
    EXPECT_EQ(music.album[0], '\0');
}

TEST_F(MediaCatalogueTest, EveryPhotoFieldLandsInItsOwnPlace) {
    std::string reply;
    zsim::companion::RecordWriter record(reply);
    const std::pair<const char*, const char*> fields[] = {{"ID", "5"},         {"TILTE", "t"},
                                                          {"PATH", "/p"},      {"SIZE", "11"},
                                                          {"MODIFTIME", "22"}, {"CREATETIME", "33"}};
    for (const auto& [key, value] : fields) record.text(key, value);
    record.end();
    LoopbackPeer phone(replying(reply));
    mediatest::rowReaches(0, phone.port());
    PhotoInfo photo{};
    ASSERT_EQ(Zentro_GetPhotoInfo(&photo, 0, 0), 0);
    EXPECT_EQ(photo.id, 5);
    EXPECT_STREQ(photo.title, "t");
    EXPECT_STREQ(photo.path, "/p");
    const size_t at[] = {offsetof(PhotoInfo, size), offsetof(PhotoInfo, modifiedTime),
                         offsetof(PhotoInfo, createdTime)};
    const int64_t expected[] = {11, 22, 33};
    for (size_t i = 0; i < 3; ++i) {
        int64_t value; // packed: read by offset
        std::memcpy(&value, reinterpret_cast<const char*>(&photo) + at[i], sizeof value);
        EXPECT_EQ(value, expected[i]) << fields[3 + i].first;
    }
}

TEST_F(MediaCatalogueTest, FailedDetailsClearOnlyTheId) {
    LoopbackPeer empty(replying(""));
    mediatest::rowReaches(0, empty.port());
    VideoInfo video{};
    video.id = 99;
    video.title[0] = 'K';
    EXPECT_EQ(Zentro_GetVideoInfo(&video, 0, 0), -1);
    EXPECT_EQ(video.id, 0);
    EXPECT_EQ(video.title[0], 'K');
    EXPECT_EQ(empty.commands(), std::vector<std::string>{"getvideoindexinfo:0;"});
}

TEST_F(MediaCatalogueTest, ThumbnailsOfMoreThanFourBytesArePictures) {
    std::string body = littleEndian(1);
    LoopbackPeer phone(mediatest::serving(
        [&body](const std::string&, const std::string&) { return std::optional<std::string>(body); }));
    mediatest::rowReaches(0, phone.port());
    char* picture = reinterpret_cast<char*>(1);
    EXPECT_EQ(Zentro_GetPhotoThumb(&picture, 5, 0), -1); // 4 bytes: a status
    EXPECT_EQ(picture, nullptr);
    body = "PNG!!";
    EXPECT_EQ(Zentro_GetPhotoThumb(&picture, 5, 0), 5);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(std::string(picture, 5), "PNG!!");
    char* second = nullptr;
    body = "cover";
    EXPECT_EQ(Zentro_GetMusicThumb(&second, 3, 9, 0), 5);
    EXPECT_EQ(second, picture); // one buffer: the first picture is overwritten
    EXPECT_EQ(std::string(picture, 5), "cover");
    EXPECT_EQ(Zentro_GetPhotoThumb(nullptr, 5, 0), -1);
    EXPECT_EQ(phone.commands(),
              (std::vector<std::string>{"getdcimthumb:5;", "getdcimthumb:5;", "getmusicthumb:3:9;"}));
}

TEST_F(MediaCatalogueTest, IntegerCommandsPassTheReplyOnAndReadZeroWithoutOne) {
    LoopbackPeer phone(replying(littleEndian(-7)));
    mediatest::rowReaches(0, phone.port());
    EXPECT_EQ(Zentro_FlushDevicesMusic(0), -7);
    EXPECT_EQ(Zentro_GetVideoCount(0), -7);
    EXPECT_EQ(Zentro_DeleteVideofromDevice(12, 0), -7);
    EXPECT_EQ(Zentro_ClearPhoto(0), -7);
    EXPECT_EQ(phone.commands(), (std::vector<std::string>{"flushmusiclist;", "getvideocount;",
                                                          "deletevideofromdevice:12;", "ClearPhotos;"}));

    // A channel that cannot be opened: the count reads as zero items.
    timings_.sleepMs = [](int) {};
    usbIndexZeroReaches(1); // nothing listens on port 1
    core::deviceRow(0)->connectionKind = core::kConnectionUsb;
    EXPECT_EQ(Zentro_GetPhotoCount(0), 0);
}
