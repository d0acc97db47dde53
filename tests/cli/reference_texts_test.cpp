// The CLI's writers and names against fixed texts written by hand from the formats' rules, so a writer
// and a reader that are wrong in the same way cannot pass by agreeing with each other.
#include <gtest/gtest.h>

#include <set>

#include "formats/backup_formats.h"
#include "formats/formats.h"
#include "formats/safe_text.h"

namespace cli = zentro::cli;

namespace {

cli::Row contact(std::initializer_list<std::pair<size_t, std::string>> fields) {
    cli::Row row(21);
    for (const auto& [at, text] : fields) row[at] = text;
    return row;
}

// A row of the given texts; a null pointer leaves its cell empty.
cli::Row cells(std::initializer_list<const char*> texts) {
    cli::Row row;
    for (const char* text : texts) row.push_back(text != nullptr ? cli::Cell(text) : std::nullopt);
    return row;
}

} // namespace

TEST(ReferenceTexts, VCardEveryFieldEscapedAndFoldedOnCharacters) {
    // Every field the writer maps, each with a value of its own, in the writer's order.
    const cli::Row full = cells(
        {nullptr,     "Ann",        "Lee, Jr.", "Annie",       "+1 555",  "h5",   "w6",    "http://a.example",
         "ann@home",  "1990-01-02", "Friends",  "a,b;c\\d\ne", "Org",     "Boss", nullptr, nullptr,
         "1 Home St", "2 Work St",  "f18",      "f19",         "ann@work"});
    const std::string note = std::string(69, 'a') + "\xC3\xA9" + std::string(80, 'b');
    const cli::Row folded = contact({{1, "F"}, {11, note}});
    const std::vector<cli::Row> cards = {full, folded, contact({{1, "Solo"}})};
    EXPECT_EQ(cli::contactsFromVCards(cli::contactsToVCards(cards)), cards) << "every field reads back";
    EXPECT_EQ(cli::contactsToVCards({full, folded}),
              "BEGIN:VCARD\r\nVERSION:3.0\r\n"
              "FN:Ann Lee\\, Jr.\r\nN:Lee\\, Jr.;Ann;;;\r\nNICKNAME:Annie\r\nTEL;TYPE=CELL:+1 555\r\n"
              "TEL;TYPE=HOME:h5\r\nTEL;TYPE=WORK:w6\r\nTEL;TYPE=HOME,FAX:f18\r\nTEL;TYPE=WORK,FAX:f19\r\n"
              "EMAIL;TYPE=HOME:ann@home\r\nEMAIL;TYPE=WORK:ann@work\r\nURL:http://a.example\r\n"
              "BDAY:1990-01-02\r\nNOTE:a\\,b\\;c\\\\d\\ne\r\nTITLE:Boss\r\nCATEGORIES:Friends\r\nORG:Org\r\n"
              "ADR;TYPE=HOME:;;1 Home St;;;;\r\nADR;TYPE=WORK:;;2 Work St;;;;\r\nEND:VCARD\r\n"
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:F\r\nN:;F;;;\r\n"
              "NOTE:" +
                  std::string(69, 'a') + "\r\n \xC3\xA9" + std::string(72, 'b') + "\r\n " +
                  std::string(8, 'b') + "\r\nEND:VCARD\r\n");

    // Read back from another program's text: folds with a tab, lower-case names, escapes.
    const auto rows =
        cli::contactsFromVCards("begin:vcard\r\nversion:3.0\r\nN:Lee\\, Jr.;Ann;;;\r\n"
                                "TEL;TYPE=HOME,FAX:f1\r\n\tf2\r\nTEL;TYPE=WORK,FAX:w\r\n"
                                "NOTE:x\\,y\\nz\r\nADR;TYPE=WORK:;;2 Work\\; St;;;;\r\nend:vcard\r\n");
    ASSERT_EQ(rows.size(), 1u);
    const cli::Row expected =
        contact({{1, "Ann"}, {2, "Lee, Jr."}, {11, "x,y\nz"}, {17, "2 Work; St"}, {18, "f1f2"}, {19, "w"}});
    EXPECT_EQ(rows[0], expected);
}

TEST(ReferenceTexts, CsvEdgesFormulaGuardsAndTheirReadingBack) {
    const std::string csv =
        cli::toCsv({"a", "b", "c"}, {{std::string("line1\nline2"), std::string("@SUM(A1)"), std::nullopt},
                                     {std::string("say \"hi\""), std::string("x,y"), std::string("-3")}});
    EXPECT_EQ(csv, "a,b,c\r\n\"line1\nline2\",'@SUM(A1),\r\n\"say \"\"hi\"\"\",\"x,y\",'-3\r\n");
    const std::vector<std::vector<std::string>> rows = {
        {"a", "b", "c"}, {"line1\nline2", "@SUM(A1)", ""}, {"say \"hi\"", "x,y", "-3"}};
    EXPECT_EQ(cli::parseCsv(csv), rows);
    EXPECT_EQ(cli::parseCsv("a,b\nc,\"d\"").back(), (std::vector<std::string>{"c", "d"}))
        << "LF and no final line end";
    EXPECT_TRUE(cli::parseCsv("").empty());

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
        const std::string cell = cli::toCsv({"h"}, {{text}});
        EXPECT_EQ(cell, "h\r\n" + written + "\r\n") << text;
        EXPECT_EQ(cli::parseCsv(cell), (std::vector<std::vector<std::string>>{{"h"}, {text}})) << text;
    }
}

TEST(ReferenceTexts, ICalendarCarriesEveryEventField) {
    // id, calendar, title, start, end, location, zone, text, alarm, minutes, rule
    const cli::Row event =
        cells({"7", "3", "Dentist; bring card", "1796724000000", "1796729400000", "Main St, 4",
               "Europe/Berlin", "line one\nline two", "1", "15", "FREQ=WEEKLY"});
    const std::string ics = cli::eventsToIcs({event});
    for (const char* line :
         {"UID:event-7@phone", "DTSTART:20261208T100000Z", "DTEND:20261208T113000Z",
          "SUMMARY:Dentist\\; bring card", "LOCATION:Main St\\, 4", "DESCRIPTION:line one\\nline two",
          "RRULE:FREQ=WEEKLY", "X-PHONE-TIMEZONE:Europe/Berlin", "X-PHONE-HASALARM:1",
          "X-PHONE-REMINDER-MINUTES:15", "X-PHONE-CALENDAR:3"})
        EXPECT_NE(ics.find(std::string(line) + "\r\n"), std::string::npos) << line << "\n" << ics;
    // An all-day event without the optional fields reads back without them.
    const cli::Row sparse = cells(
        {nullptr, "1", "All day", "1700006400000", nullptr, nullptr, "UTC", nullptr, "0", nullptr, nullptr});
    cli::Row back = event;
    back[0].reset(); // the id stays the phone's
    EXPECT_EQ(cli::eventsFromIcs(cli::eventsToIcs({event, sparse})), (std::vector<cli::Row>{back, sparse}));
    EXPECT_TRUE(cli::eventsFromIcs("not a calendar").empty());
}

TEST(ReferenceTexts, VCardCutsAWindowOfContinuationBytesAndExtensionsNameTheFormat) {
    // A window of continuation bytes only (no character starts in it) is cut all the same.
    EXPECT_EQ(cli::toVCard({{"FN", std::string(100, '\x80')}}),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + std::string(72, '\x80') + "\r\n " +
                  std::string(28, '\x80') + "\r\nEND:VCARD\r\n");
    EXPECT_EQ(cli::formatOfPath("out/Contacts.VCF"), "vcf");
    EXPECT_EQ(cli::formatOfPath("dir.v2/plain"), "");
    EXPECT_EQ(cli::formatOfPath("a.tar.json"), "json");
}

// A second item of a name is renamed to a name no item has, whatever names the others carry.
TEST(ReferenceTexts, RenamedItemsNeverLandOnAnotherItemsName) {
    std::set<std::string> taken = {"a.jpg", "a-2.jpg", "notes"}; // every item's own name
    EXPECT_EQ(cli::uniqueName("a.jpg", 2, taken), "a-2-2.jpg");
    EXPECT_EQ(cli::uniqueName("a.jpg", 2, taken), "a-2-3.jpg");
    EXPECT_EQ(cli::uniqueName("notes", 5, taken), "notes-5");
    EXPECT_EQ(cli::uniqueName("b.jpg", 7, taken), "b.jpg");
    const auto forms = cli::numberedForms("IMG_1.tar.gz");
    ASSERT_EQ(forms.size(), 9u);
    EXPECT_EQ(forms.front(), "IMG_1.tar(1).gz");
    EXPECT_EQ(cli::numberedForms(".profile").back(), ".profile(9)");
}

// The manifest's digests as other tools print them (the hashing itself is the library's).
TEST(ReferenceTexts, DigestsInLowerCaseHex) {
    EXPECT_EQ(cli::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
