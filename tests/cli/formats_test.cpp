// The CLI's export formats: what other programs will read back.
#include <gtest/gtest.h>

#include "formats.h"

namespace cli = zentro::cli;

TEST(Formats, CsvQuotesOnlyWhereNeededAndDoublesQuotes) {
    const std::string csv = cli::toCsv(
        {"a", "b"}, {{std::string("plain"), std::string("x,\"y\"\nz")}, {std::nullopt, std::string("")}});
    EXPECT_EQ(csv, "a,b\r\nplain,\"x,\"\"y\"\"\nz\"\r\n,\r\n");
}

TEST(Formats, VCardFoldsLongLinesWithoutSplittingCharactersAndReadsBack) {
    std::string note(100, 'x');
    note += "Grüße; a, b\\c\nnext";
    const std::string text =
        cli::toVCard({{"FN", cli::escapeVCardText("Jörg Keller")}, {"NOTE", cli::escapeVCardText(note)}});
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends in CRLF";
        EXPECT_LE(end - start, 75u);
        start = end + 2;
    }
    auto cards = cli::parseVCards(text);
    ASSERT_EQ(cards.size(), 1u);
    ASSERT_EQ(cards[0].size(), 2u);
    EXPECT_EQ(cards[0][0].second, "Jörg Keller");
    EXPECT_EQ(cards[0][1].second, note);
}

TEST(Formats, FormatComesFromTheExtensionOnly) {
    EXPECT_EQ(cli::formatOfPath("out/Contacts.VCF"), "vcf");
    EXPECT_EQ(cli::formatOfPath("dir.v2/plain"), "");
    EXPECT_EQ(cli::formatOfPath("a.tar.json"), "json");
}
