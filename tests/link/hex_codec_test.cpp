#include "link/hex_codec.h"

#include <gtest/gtest.h>

#include <string>

using namespace zentro::link;

namespace {

std::string encode(const std::string& bytes, int32_t capacity, size_t outSize = 600) {
    std::string out(outSize, '#');
    EXPECT_EQ(encodeHex(bytes.data(), bytes.size(), out.data(), out.size(), &capacity), 0);
    EXPECT_EQ(out[static_cast<size_t>(capacity)], '\0');
    return out.substr(0, static_cast<size_t>(capacity)) + out.substr(static_cast<size_t>(capacity) + 1);
}

std::string decode(const std::string& text, int32_t capacity = 300) {
    std::string out(static_cast<size_t>(capacity), '#');
    EXPECT_EQ(decodeHex(text.data(), text.size(), out.data(), &capacity), 0);
    return out.substr(0, static_cast<size_t>(capacity));
}

} // namespace

TEST(HexCodec, EncodesUpperCaseWithinCapacityAndBuffer) {
    EXPECT_EQ(encode("abc", 100, 8), "616263#");
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(decode(encode(all, 1000, 513)), all); // lower-case pairs would not come back

    // An odd capacity lets a third pair through (6 characters); the buffer size is never passed.
    EXPECT_EQ(encode("0123456789", 5, 8), "303132#");
    EXPECT_EQ(encode("0123456789", 1000, 8), "303132#");

    char out[8];
    int32_t capacity = 0;
    EXPECT_EQ(encodeHex("ab", 2, out, sizeof out, &capacity), -1);
    capacity = 10;
    EXPECT_EQ(encodeHex("ab", 2, nullptr, 0, &capacity), -1);
    EXPECT_EQ(encodeHex(nullptr, 5, out, sizeof out, &capacity), 0);
    EXPECT_EQ(capacity, 0);
}

TEST(HexCodec, DecodesDigitsTheCompanionsWay) {
    EXPECT_EQ(decode("616263"), "abc");
    EXPECT_EQ(decode("4a"), "\x6A"); // lower-case a counts 42: 4 * 16 + 42 = 106
    EXPECT_EQ(decode("1Z"), "3");    // Z counts 35
    EXPECT_EQ(decode("G1"), "\x01"); // 257 kept to 8 bits
    EXPECT_EQ(decode("-1\xC1"
                     "1"),
              "\x01\x01");                // not digits, high bytes included: 0
    EXPECT_EQ(decode("41424"), "AB\x40"); // an odd last character pairs with a zero
    EXPECT_EQ(decode("414243", 2), "AB"); // the capacity bounds the output

    std::string inPlace = "4142434";
    int32_t capacity = 10;
    decodeHex(inPlace.data(), inPlace.size(), inPlace.data(), &capacity);
    EXPECT_EQ(inPlace.substr(0, static_cast<size_t>(capacity)), "ABC\x40");
}
