// The text side of backups: digests and reading back what the backup files hold.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "formats/backup_formats.h"
#include "formats/safe_text.h"

using namespace zentro::cli;

TEST(BackupFormats, Sha256MatchesKnownDigestsWhetherFedWholeOrInPieces) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(sha256Hex(twoBlocks), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a' in uneven pieces crosses block edges at every offset.
    Sha256 pieces;
    const std::string chunk(997, 'a');
    size_t fed = 0;
    while (fed + chunk.size() <= 1000000) {
        pieces.update(chunk.data(), chunk.size());
        fed += chunk.size();
    }
    pieces.update(chunk.data(), 1000000 - fed);
    EXPECT_EQ(pieces.hexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(BackupFormats, CsvReadsBackWhatTheWriterWrote) {
    const std::vector<std::string> header = {"id", "body", "date"};
    const std::vector<Row> rows = {{"1", "plain", "2024-01-02 03:04:05"},
                                   {"2", "comma, \"quoted\"\r\nand two lines", std::nullopt},
                                   {"3", "", "x"}};
    const auto table = parseCsv(toCsv(header, rows));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], header);
    EXPECT_EQ(table[2][1], "comma, \"quoted\"\r\nand two lines");
    EXPECT_EQ(table[2][2], "") << "a missing cell reads as an empty field";
    EXPECT_EQ(table[3], (std::vector<std::string>{"3", "", "x"}));
    EXPECT_EQ(parseCsv("a,b\nc,\"d\"").back(), (std::vector<std::string>{"c", "d"}))
        << "LF and no final line end";
    EXPECT_TRUE(parseCsv("").empty());
}

TEST(BackupFormats, CalendarRoundTripKeepsEveryPhoneField) {
    // id, calendarId, title, start, end, location, timeZone, description, hasAlarm, minutes, rule
    const std::vector<Row> events = {{"7", "2", "Dentist; bring card", "1700000000000", "1700003600000",
                                      "Main St, 4", "Europe/Berlin", "line one\nline two", "1", "30",
                                      "FREQ=WEEKLY;COUNT=4"},
                                     {"8", "1", "All day", "1700006400000", std::nullopt, std::nullopt, "UTC",
                                      std::nullopt, "0", std::nullopt, std::nullopt}};
    const auto back = eventsFromIcs(eventsToIcs(events));
    ASSERT_EQ(back.size(), 2u);
    for (size_t i = 0; i < events.size(); ++i) {
        for (size_t f = 1; f < events[i].size(); ++f)
            EXPECT_EQ(back[i][f], events[i][f]) << "event " << i << " field " << f;
        EXPECT_FALSE(back[i][0]) << "ids are the phone's own and do not travel";
    }
    EXPECT_TRUE(eventsFromIcs("not a calendar").empty());
}

TEST(BackupFormats, ContactRoundTripKeepsEveryField) {
    Row contact(21);
    contact[1] = "Ana";
    contact[2] = "de la Cruz";
    contact[3] = "Nan, the 1st";
    contact[4] = "+34 600 111 222";
    contact[5] = "912345678";
    contact[8] = "ana@example.org";
    contact[10] = "Family;Friends";
    contact[11] = "Allergic to nuts.\nCall after 6; not before";
    contact[12] = "Acme\\Ltd";
    contact[16] = "Calle Mayor 1, Madrid";
    contact[19] = "913000000";
    contact[20] = "ana@acme.example";
    Row bare(21);
    bare[1] = "Solo";
    const auto back = contactsFromVCards(contactsToVCards({contact, bare}));
    ASSERT_EQ(back.size(), 2u);
    for (size_t f = 1; f < 21; ++f) EXPECT_EQ(back[0][f], contact[f]) << "field " << f;
    EXPECT_EQ(back[1][1], "Solo");
    EXPECT_FALSE(back[1][2]);
    EXPECT_FALSE(back[1][4]);
}

// A second item of a name is renamed to a name no item has, whatever names the others carry.
TEST(BackupFormats, RenamedItemsNeverLandOnAnotherItemsName) {
    std::set<std::string> taken = {"a.jpg", "a-2.jpg", "notes"}; // every item's own name
    EXPECT_EQ(zentro::cli::uniqueName("a.jpg", 2, taken), "a-2-2.jpg");
    EXPECT_EQ(zentro::cli::uniqueName("a.jpg", 2, taken), "a-2-3.jpg");
    EXPECT_EQ(zentro::cli::uniqueName("notes", 5, taken), "notes-5");
    EXPECT_EQ(zentro::cli::uniqueName("b.jpg", 7, taken), "b.jpg");
    const auto forms = zentro::cli::numberedForms("IMG_1.tar.gz");
    ASSERT_EQ(forms.size(), 9u);
    EXPECT_EQ(forms.front(), "IMG_1.tar(1).gz");
    EXPECT_EQ(zentro::cli::numberedForms(".profile").back(), ".profile(9)");
}
