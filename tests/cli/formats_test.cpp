// The CLI's export formats: what other programs will read back.
#include <gtest/gtest.h>

#include "formats/backup_formats.h"
#include "formats/formats.h"

namespace cli = zentro::cli;

TEST(Formats, CsvQuotesOnlyWhereNeededAndDoublesQuotes) {
    const std::string csv = cli::toCsv(
        {"a", "b"}, {{std::string("plain"), std::string("x,\"y\"\nz")}, {std::nullopt, std::string("")}});
    EXPECT_EQ(csv, "a,b\r\nplain,\"x,\"\"y\"\"\nz\"\r\n,\r\n");
}

TEST(Formats, CsvCellsNeverStartAFormulaAndReadBackAsTheyWere) {
    // Written form of each cell; cells with quote marks before a formula start get one more, so
    // a text that began with ' reads back unchanged too.
    const std::pair<std::string, std::string> cells[] = {
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"@SUM(1+1)", "'@SUM(1+1)"},
        {"+49 30 1234", "'+49 30 1234"},
        {"-2", "'-2"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"'=x", "''=x"},
        {"'plain", "'plain"},
        {"a=b", "a=b"},
    };
    for (const auto& [text, written] : cells) {
        const std::string csv = cli::toCsv({"h"}, {{text}});
        EXPECT_EQ(csv, "h\r\n" + written + "\r\n") << text;
        const auto rows = cli::parseCsv(csv);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1], std::vector<std::string>{text});
    }
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
    // A window of continuation bytes only (no character starts in it) is cut all the same.
    const std::string broken = cli::toVCard({{"FN", std::string(100, '\x80')}});
    EXPECT_EQ(broken, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + std::string(72, '\x80') + "\r\n " +
                          std::string(28, '\x80') + "\r\nEND:VCARD\r\n");
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
