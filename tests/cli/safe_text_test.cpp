// Names and texts a phone chose, on their way to this computer's disk and terminal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>

#include "formats/json_stream.h"
#include "formats/safe_text.h"
#include "test_support.h"

namespace cli = zentro::cli;

TEST(SafeText, PhoneNamesBecomePlainFileNames) {
    const std::pair<std::string, std::string> names[] = {
        {"IMG_0001.jpg", "IMG_0001.jpg"},
        {"Grüße.jpg", "Grüße.jpg"},
        {".bashrc", "bashrc"},
        {"line\nbreak\x1b[31m.jpg", "line_break_[31m.jpg"},
        {"../../etc/passwd", "_.._etc_passwd"},
        {"a\\b:c?.png", "a_b_c_.png"},
        {"\xff\xfe.png", "__.png"},
        {"csi\xc2\x9b.png", "csi_.png"},
        {"CON", "_CON"},
        {"nul.txt", "_nul.txt"},
        {"com1.png", "_com1.png"},
        {" name. ", "name"},
        {"..", "7"},
        {"", "7"},
    };
    for (const auto& [phone, plain] : names) EXPECT_EQ(cli::safeFileName(phone, "7"), plain) << phone;
    // Long names are cut on a character boundary and keep their extension.
    const std::string cut =
        cli::safeFileName(std::string(200, 'x') + "\xe2\x82\xac" + std::string(100, 'y') + ".jpeg", "7");
    EXPECT_EQ(cut.size(), cli::kMaxSafeNameBytes);
    EXPECT_EQ(cut.substr(cut.size() - 5), ".jpeg");
    EXPECT_EQ(cli::safeFileName(std::string(117, 'x') + "\xe2\x82\xac.a", "7"), std::string(117, 'x') + ".a");
}

TEST(SafeText, TerminalsAndJsonGetNoControlBytesAndNothingAborts) {
    EXPECT_EQ(cli::terminalSafe("\x1b]0;t\x07ok ü"), "\\x1B]0;t\\x07ok ü");
    EXPECT_EQ(cli::terminalSafe("a\xc2\x9b"
                                "b\xff\x7f"),
              "a\\xC2\\x9Bb\\xFF\\x7F");
    const nlohmann::ordered_json value = {{"title", "bad \xff"}, {"c1", "\xc2\x9b\x7f\x1b"}, {"ok", "Grüße"}};
    const std::string text = cli::jsonText(value);
    EXPECT_EQ(text, "{\"title\":\"bad \xef\xbf\xbd\",\"c1\":\"\\u009b\\u007f\\u001b\",\"ok\":\"Grüße\"}");
    EXPECT_EQ(nlohmann::json::parse(text)["c1"], "\xc2\x9b\x7f\x1b");
    // The streamed writer gives the tree writer's bytes, for every kind of phone text: UTF-8 edges,
    // overlong and surrogate forms, cut sequences, and random bytes.
    std::vector<std::string> texts = {"a\"b\\c/\b\f\n\r\t\x01\x1f",
                                      "\xc2\x80\xc2\x9f\xc2\xa0 \xf0\x9f\x98\x80",
                                      "\xe0\x80\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xc0\xaf \xf5",
                                      "cut \xe2\x82",
                                      "\xe2\x82x\xf0\x9f\x98",
                                      "\xef\xbf\xbf\xf4\x8f\xbf\xbf"};
    uint32_t seed = 7;
    for (int n = 0; n < 300; ++n) {
        std::string random(n % 13, '\0');
        for (char& c : random) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
        texts.push_back(random);
    }
    for (const std::string& t : texts) {
        std::string streamed;
        cli::JsonStream(streamed).beginArray().string(t).null().end();
        EXPECT_EQ(streamed, cli::jsonText(nlohmann::ordered_json::array({t, nullptr})));
    }
    std::string indented;
    cli::JsonStream(indented, 2)
        .beginArray()
        .beginObject()
        .key("k")
        .string("v")
        .end()
        .beginArray()
        .end()
        .end();
    EXPECT_EQ(indented, cli::jsonText(nlohmann::ordered_json::parse(R"([{"k":"v"},[]])"), 2));
}

TEST(SafeText, FreePathsNumberTakenNamesAndLinksCountAsTaken) {
    ztest::ScratchFolder folder;
    EXPECT_EQ(cli::freePathIn(folder.path(), "a.jpg"), folder.file("a.jpg"));
    ztest::writeFile(folder.file("a.jpg"), "1");
    ztest::writeFile(folder.file("a (2).jpg"), "2");
    EXPECT_EQ(cli::freePathIn(folder.path(), "a.jpg"), folder.file("a (3).jpg"));
    ASSERT_EQ(::symlink("/nonexistent", folder.file("b").c_str()), 0);
    EXPECT_EQ(cli::freePathIn(folder.path(), "b"), folder.file("b (2)"));
    EXPECT_EQ(cli::addSize(INT64_MAX - 3, 10), INT64_MAX);
    EXPECT_EQ(cli::addSize(5, -9), 5);
}
