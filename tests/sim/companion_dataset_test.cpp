// The companion's data set, its text helpers and the media files it writes onto the phone.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "companion/codec.h"
#include "companion/dataset.h"
#include "companion/media_files.h"
#include "sim_helpers.h"

using namespace zsim::companion;
using simtest::isValidPng;
using simtest::le32;

TEST(CompanionCodec, HexDatesAndFitting) {
    EXPECT_EQ(hexEncode(std::string("ab\x00\xff\x7f", 5)), "616200FF7F");
    EXPECT_EQ(hexDecode("4a"), std::optional<std::string>("J"));
    EXPECT_EQ(hexDecode(""), std::optional<std::string>(""));
    EXPECT_FALSE(hexDecode("616"));
    EXPECT_FALSE(hexDecode("6G"));
    const std::string utf8 = "Grüße 🚗";
    EXPECT_EQ(hexDecode(hexEncode(utf8)), std::optional<std::string>(utf8));

    EXPECT_EQ(leInt32(-1), std::string(4, '\xff'));
    EXPECT_EQ(leInt64(57), std::string("\x39\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(parseDecimal("-12"), std::optional<int64_t>(-12));
    for (const char* bad : {"12a", "", "99999999999999999999"}) EXPECT_FALSE(parseDecimal(bad)) << bad;

    EXPECT_EQ(formatDate(1330473599), "2012-02-28 23:59:59");
    EXPECT_EQ(formatDate(1330473600), "2012-02-29 00:00:00");
    for (int64_t t : {0LL, 951782400LL, 1356998399LL, 4102444800LL})
        EXPECT_EQ(parseDate(formatDate(t)), std::optional<int64_t>(t));
    EXPECT_FALSE(parseDate("2013-13-01 00:00:00"));
    EXPECT_FALSE(parseDate("2013-01-01"));
    EXPECT_TRUE(parseDate(nowDateText()));

    // Cutting keeps the record inside the limit, takes from the longest cuttable text first
    // and never splits a UTF-8 character.
    const std::string fitted = fitRecord(
        {{"PKG", "com.a", false, true}, {"ID", "7"}, {"PATH", std::string(300, 'x') + "é", false, true}},
        200);
    ASSERT_FALSE(fitted.empty());
    EXPECT_LE(fitted.size(), 200u);
    EXPECT_NE(fitted.find("PKG:636F6D2E61;ID:37;"), std::string::npos);
    EXPECT_EQ(fitted.back(), '.');
    const size_t path = fitted.find("PATH:") + 5;
    const auto decoded = hexDecode(fitted.substr(path, fitted.find(';', path) - path));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->find("\xc3"), std::string::npos) << "half a character left behind";
    EXPECT_EQ(fitRecord({{"ID", std::string(200, '1')}}, 100), "");
}

TEST(CompanionDataSet, RecordsAreConsistentAndFollowTheSeed) {
    const zsim::DataSizes d7 = effectiveSizes(7, zsim::DataSizes{});
    for (int n : {d7.messages, d7.calls, d7.events, d7.contacts, d7.apps, d7.photos, d7.music, d7.videos})
        EXPECT_GT(n, 0) << "a default phone has something of every kind";

    zsim::DataSizes sizes;
    sizes.messages = 2000;
    sizes.calls = 300;
    sizes.contacts = 60;
    auto texts = [](const std::vector<Message>& list) {
        std::string all;
        for (const Message& m : list) all += m.body + m.date + "\n";
        return all;
    };
    const auto messages = generateMessages(11, sizes);
    ASSERT_EQ(messages.size(), 2000u);
    EXPECT_EQ(texts(messages), texts(generateMessages(11, sizes)));
    EXPECT_NE(texts(messages), texts(generateMessages(12, sizes))) << "another seed gives another phone";
    const auto contacts = generateContacts(11, sizes);
    ASSERT_EQ(contacts.size(), 60u);
    std::map<int64_t, const Contact*> byId;
    for (const Contact& c : contacts) byId[c.id] = &c;

    std::map<std::string, int64_t> threadOf;
    std::set<int64_t> ids;
    for (size_t i = 0; i < messages.size(); ++i) {
        const Message& m = messages[i];
        ASSERT_TRUE(parseDate(m.date)) << m.date;
        EXPECT_TRUE(i == 0 || messages[i - 1].date <= m.date) << "kept oldest first";
        EXPECT_TRUE(ids.insert(m.id).second);
        EXPECT_FALSE(m.body.empty());
        EXPECT_EQ(threadOf.emplace(m.address, m.threadId).first->second, m.threadId)
            << "one thread per address";
        if (m.person != 0) {
            ASSERT_TRUE(byId.count(m.person));
            EXPECT_EQ(*byId[m.person]->fields[4], m.address);
        }
    }
    EXPECT_GT(threadOf.size(), 5u);

    EXPECT_EQ(generateCalls(11, sizes).size(), 300u);
    for (const Call& c : generateCalls(11, sizes)) {
        EXPECT_TRUE(parseDate(c.date));
        EXPECT_TRUE(c.type >= 1 && c.type <= 3);
        EXPECT_TRUE(c.type != 3 || c.duration == "0") << "a missed call lasts nothing";
    }
    sizes.calls = -1;
    EXPECT_TRUE(generateCalls(11, sizes).empty());

    // The first contact carries every field the list can show.
    for (int f = 0; f <= 20; ++f)
        EXPECT_EQ(contacts[0].fields[f].has_value(), f != 14 && f != 15) << "field " << f;

    for (const Event& e : generateEvents(11, sizes)) {
        const auto start = parseDecimal(e.start), end = parseDecimal(e.end);
        ASSERT_TRUE(start && end);
        EXPECT_LT(*start, *end);
    }
}

TEST(CompanionMediaFiles, FilesAreWellFormed) {
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    const std::string photo = makeScenePng(160, 120, 42);
    EXPECT_TRUE(isValidPng(photo, 160, 120));
    EXPECT_EQ(photo, makeScenePng(160, 120, 42));
    EXPECT_NE(photo, makeScenePng(160, 120, 43));
    EXPECT_TRUE(isValidPng(makeScenePng(200, 150, 1), 200, 150)) << "more than one stored block";
    EXPECT_TRUE(isValidPng(makeCoverPng(32, 5), 32, 32));

    const std::string wav = makeToneWav(440, 2000);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 40), 16000u);
    EXPECT_EQ(wav.size(), 44u + 16000u);

    const std::string avi = makeClipAvi(48, 32, 7, 5, 9);
    EXPECT_EQ(avi.substr(0, 4) + avi.substr(8, 4), "RIFFAVI ");
    EXPECT_EQ(le32(avi, 4), avi.size() - 8);
    EXPECT_EQ(le32(avi, 48), 7u) << "frames in the main header";
    const size_t movi = avi.find("movi");
    const size_t idx = avi.find("idx1", movi);
    ASSERT_NE(idx, std::string::npos);
    EXPECT_EQ(le32(avi, movi - 4), idx - movi) << "movi list size";
    EXPECT_EQ(le32(avi, idx + 4), 7u * 16);
    for (uint32_t f = 0; f < 7; ++f) { // each index entry points at its frame chunk
        const uint32_t offset = le32(avi, idx + 8 + 16 * f + 8);
        EXPECT_EQ(avi.substr(movi + offset, 4), "00db");
        EXPECT_EQ(le32(avi, movi + offset + 4), 48u * 32 * 3);
    }

    const std::string zip = makePackageZip("org.a.b");
    EXPECT_EQ(le32(zip, 0), 0x04034B50u);
    const size_t eocd = zip.size() - 22;
    EXPECT_EQ(le32(zip, eocd), 0x06054B50u);
    EXPECT_EQ(le32(zip, eocd + 16) + le32(zip, eocd + 12), eocd) << "central directory ends at the EOCD";
    EXPECT_EQ(le32(zip, 14), crc32("package=org.a.b\n"));
}

TEST(CompanionDataSet, MediaIsWrittenIntoTheFileTree) {
    zsim::FileTree files;
    zsim::DataSizes sizes;
    sizes.photos = 6;
    sizes.music = 5;
    sizes.videos = -1;
    const MediaCatalogue photos = generateMedia(MediaKind::Photo, 3, sizes, files);
    ASSERT_EQ(photos.items.size(), 6u);
    std::set<std::string> paths;
    for (const MediaItem& p : photos.items) {
        const auto bytes = files.read(p.path);
        ASSERT_TRUE(bytes) << p.path;
        EXPECT_TRUE(paths.insert(p.path).second);
        EXPECT_EQ(files.stat(p.path)->mtime, static_cast<uint32_t>(p.modified));
        EXPECT_TRUE(isValidPng(*bytes));
        EXPECT_TRUE(isValidPng(photoThumbnail(p), 32));
    }
    const MediaCatalogue music = generateMedia(MediaKind::Music, 3, sizes, files);
    ASSERT_EQ(music.items.size(), 5u);
    for (const MediaItem& t : music.items) {
        const auto bytes = files.read(t.path);
        ASSERT_TRUE(bytes);
        // What a file that arrives later would be described as agrees with the generator.
        EXPECT_EQ(describeNewFile(MediaKind::Music, t.path, *bytes, 0).durationMs, t.durationMs);
        EXPECT_GE(t.albumId, 1);
    }
    EXPECT_TRUE(generateMedia(MediaKind::Video, 3, sizes, files).items.empty());
}
