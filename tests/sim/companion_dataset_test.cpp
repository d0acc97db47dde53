// The companion's data set, its text helpers and the media files it writes onto the phone.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "companion/codec.h"
#include "companion/dataset.h"
#include "companion/media_files.h"

using namespace zsim::companion;

namespace {

uint32_t be32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s.at(at + i));
    return v;
}
uint32_t le32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(s.at(at + i));
    return v;
}
uint32_t le16(const std::string& s, size_t at) {
    return static_cast<unsigned char>(s.at(at)) | static_cast<unsigned char>(s.at(at + 1)) << 8;
}

// Walks a PNG as a decoder would: signature, chunk CRCs, IHDR, and the zlib stream of stored
// blocks with its Adler-32. Returns the inflated size, or -1 with a failure recorded.
long inflatedPngSize(const std::string& png, uint32_t& width, uint32_t& height) {
    if (png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
        ADD_FAILURE() << "no PNG signature";
        return -1;
    }
    std::string idat;
    size_t at = 8;
    bool ended = false;
    while (at + 12 <= png.size() && !ended) {
        const uint32_t len = be32(png, at);
        const std::string type = png.substr(at + 4, 4);
        const std::string data = png.substr(at + 8, len);
        EXPECT_EQ(be32(png, at + 8 + len), crc32(png.substr(at + 4, 4 + len))) << type;
        if (type == "IHDR") {
            width = be32(data, 0);
            height = be32(data, 4);
            EXPECT_EQ(data.substr(8, 5), std::string("\x08\x02\0\0\0", 5));
        } else if (type == "IDAT") {
            idat += data;
        }
        ended = type == "IEND";
        at += 12 + len;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(at, png.size());
    EXPECT_EQ((static_cast<unsigned char>(idat.at(0)) * 256 + static_cast<unsigned char>(idat.at(1))) % 31, 0);
    std::string raw;
    size_t p = 2;
    bool last = false;
    while (!last) {
        last = idat.at(p) & 1;
        EXPECT_EQ(idat.at(p) & 6, 0) << "only stored blocks expected";
        const uint32_t len = le16(idat, p + 1);
        EXPECT_EQ(len ^ 0xFFFF, le16(idat, p + 3));
        raw += idat.substr(p + 5, len);
        p += 5 + len;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(be32(idat, p), (b << 16) | a);
    EXPECT_EQ(p + 4, idat.size());
    return static_cast<long>(raw.size());
}

} // namespace

TEST(CompanionCodec, HexDatesAndFitting) {
    EXPECT_EQ(hexEncode("abc"), "616263");
    EXPECT_EQ(hexEncode(std::string("\x00\xff\x7f", 3)), "00FF7F");
    EXPECT_EQ(hexDecode("616263"), std::optional<std::string>("abc"));
    EXPECT_EQ(hexDecode("4a"), std::optional<std::string>("J"));
    EXPECT_FALSE(hexDecode("616"));
    EXPECT_FALSE(hexDecode("6G"));
    EXPECT_EQ(hexDecode(""), std::optional<std::string>(""));
    const std::string utf8 = "Grüße 🚗";
    EXPECT_EQ(hexDecode(hexEncode(utf8)), std::optional<std::string>(utf8));

    EXPECT_EQ(leInt32(-1), std::string(4, '\xff'));
    EXPECT_EQ(leInt64(57), std::string("\x39\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(parseDecimal("-12"), std::optional<int64_t>(-12));
    EXPECT_FALSE(parseDecimal("12a"));
    EXPECT_FALSE(parseDecimal(""));
    EXPECT_FALSE(parseDecimal("99999999999999999999"));

    EXPECT_EQ(formatDate(0), "1970-01-01 00:00:00");
    EXPECT_EQ(formatDate(1330473599), "2012-02-28 23:59:59");
    EXPECT_EQ(formatDate(1330473600), "2012-02-29 00:00:00");
    for (int64_t t : {0LL, 951782400LL, 1356998399LL, 1700000000LL, 4102444800LL})
        EXPECT_EQ(parseDate(formatDate(t)), std::optional<int64_t>(t));
    EXPECT_FALSE(parseDate("2013-13-01 00:00:00"));
    EXPECT_FALSE(parseDate("2013-01-01"));
    EXPECT_EQ(nowDateText().size(), 19u);

    // Cutting keeps the record inside the limit, takes from the longest cuttable text first
    // and never splits a UTF-8 character.
    std::vector<Field> fields = {{"PKG", "com.a", false, true},
                                 {"ID", "7"},
                                 {"PATH", std::string(300, 'x') + "é", false, true}};
    const std::string fitted = fitRecord(fields, 200);
    ASSERT_FALSE(fitted.empty());
    EXPECT_LE(fitted.size(), 200u);
    EXPECT_NE(fitted.find("PKG:636F6D2E61;"), std::string::npos);
    EXPECT_NE(fitted.find("ID:37;"), std::string::npos);
    EXPECT_EQ(fitted.back(), '.');
    const size_t path = fitted.find("PATH:") + 5;
    const auto decoded = hexDecode(fitted.substr(path, fitted.find(';', path) - path));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->find("\xc3"), std::string::npos) << "half a character left behind";
    EXPECT_EQ(fitRecord({{"ID", std::string(200, '1')}}, 100), "");
}

TEST(CompanionDataSet, SizesAndDeterminism) {
    zsim::DataSizes none;
    const zsim::DataSizes d7 = effectiveSizes(7, none);
    EXPECT_GE(d7.messages, 200);
    EXPECT_LE(d7.messages, 500);
    EXPECT_GT(d7.contacts, 0);
    EXPECT_GT(d7.photos, 0);

    zsim::DataSizes asked;
    asked.messages = 37;
    asked.calls = -1;
    asked.contacts = 12;
    EXPECT_EQ(generateMessages(7, asked).size(), 37u);
    EXPECT_TRUE(generateCalls(7, asked).empty());
    EXPECT_EQ(generateContacts(7, asked).size(), 12u);

    const auto a = generateMessages(7, asked), b = generateMessages(7, asked), c = generateMessages(8, asked);
    ASSERT_EQ(a.size(), b.size());
    bool differs = false;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].body, b[i].body);
        EXPECT_EQ(a[i].date, b[i].date);
        differs = differs || a[i].body != c[i].body || a[i].date != c[i].date;
    }
    EXPECT_TRUE(differs) << "another seed gives another phone";
}

TEST(CompanionDataSet, RecordsAreConsistent) {
    zsim::DataSizes sizes;
    sizes.messages = 2000;
    sizes.calls = 300;
    sizes.contacts = 60;
    const auto messages = generateMessages(11, sizes);
    const auto contacts = generateContacts(11, sizes);
    std::map<int64_t, const Contact*> byId;
    for (const Contact& c : contacts) byId[c.id] = &c;

    std::map<std::string, int64_t> threadOf;
    std::set<int64_t> ids;
    for (size_t i = 0; i < messages.size(); ++i) {
        const Message& m = messages[i];
        ASSERT_TRUE(parseDate(m.date)) << m.date;
        if (i > 0) {
            EXPECT_LE(messages[i - 1].date, m.date) << "kept oldest first";
        }
        EXPECT_TRUE(ids.insert(m.id).second);
        EXPECT_FALSE(m.body.empty());
        const auto [it, fresh] = threadOf.emplace(m.address, m.threadId);
        EXPECT_EQ(it->second, m.threadId) << "one thread per address";
        if (m.person != 0) {
            ASSERT_TRUE(byId.count(m.person));
            EXPECT_EQ(*byId[m.person]->fields[4], m.address);
        }
    }
    EXPECT_GT(threadOf.size(), 5u);

    for (const Call& c : generateCalls(11, sizes)) {
        EXPECT_TRUE(parseDate(c.date));
        EXPECT_TRUE(c.type >= 1 && c.type <= 3);
        if (c.type == 3) {
            EXPECT_EQ(c.duration, "0");
        }
    }

    // The first contact carries every field the list can show.
    for (int f : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20})
        EXPECT_TRUE(contacts[0].fields[f].has_value()) << "field " << f;
    EXPECT_FALSE(contacts[0].fields[14].has_value());

    for (const Event& e : generateEvents(11, sizes)) {
        const auto start = parseDecimal(e.start), end = parseDecimal(e.end);
        ASSERT_TRUE(start && end);
        EXPECT_LT(*start, *end);
    }
}

TEST(CompanionMediaFiles, FilesAreWellFormed) {
    uint32_t w = 0, h = 0;
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    const std::string photo = makeScenePng(160, 120, 42);
    EXPECT_EQ(inflatedPngSize(photo, w, h), 120L * (1 + 160 * 3));
    EXPECT_EQ(w, 160u);
    EXPECT_EQ(h, 120u);
    EXPECT_EQ(photo, makeScenePng(160, 120, 42));
    EXPECT_NE(photo, makeScenePng(160, 120, 43));
    // Bigger than one stored block.
    EXPECT_EQ(inflatedPngSize(makeScenePng(200, 150, 1), w, h), 150L * (1 + 200 * 3));
    EXPECT_EQ(inflatedPngSize(makeCoverPng(32, 5), w, h), 32L * (1 + 32 * 3));

    const std::string wav = makeToneWav(440, 2000);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 40), 16000u);
    EXPECT_EQ(wav.size(), 44u + 16000u);

    const std::string avi = makeClipAvi(48, 32, 7, 5, 9);
    EXPECT_EQ(avi.substr(0, 4), "RIFF");
    EXPECT_EQ(avi.substr(8, 4), "AVI ");
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
        EXPECT_EQ(static_cast<int64_t>(bytes->size()), p.size);
        EXPECT_EQ(p.path.rfind("/sdcard/", 0), 0u);
        EXPECT_TRUE(paths.insert(p.path).second);
        EXPECT_EQ(files.stat(p.path)->mtime, static_cast<uint32_t>(p.modified));
        uint32_t w = 0, h = 0;
        EXPECT_GT(inflatedPngSize(*bytes, w, h), 0);
        EXPECT_GT(inflatedPngSize(photoThumbnail(p), w, h), 0);
        EXPECT_EQ(w, 32u);
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
