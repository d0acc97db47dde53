// The backup page rendered by a headless browser, in states given by the address bar.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "backup/backup_page.h"
#include "test_support.h"

namespace {

using json = nlohmann::ordered_json;
const char* const kHostile = "<img src=x onerror=document.title='owned'>";

// A small phone's backup, written by hand, plus one conversation of 100,000 messages.
void writeBackup(const std::string& dir) {
    json messages = {{"2013-05-31 10:00:00", "1", "07700 900123", "Lunch at noon?", "1"},
                     {"2013-05-31 10:05:00", "2", "07700 900123", "Yes, LUNCH works", "1"},
                     {"2013-05-30 09:00:00", "1", "+1 555 123 4567", kHostile, "0"},
                     {"2013-05-29 09:00:00", "1", "0555 000 1111", "which one of you?", "0"}};
    json big = json::array();
    for (int i = 0; i < 100000; ++i) {
        messages.push_back({"2012-01-01 00:00:00", "1", "+15550009999", "filler " + std::to_string(i), "1"});
        big.push_back(i + 4);
    }
    const json data = {
        {"phone",
         {{"serial", "ZX1"}, {"brand", "Tavian \n"}, {"model", "<b>X1</b>"}, {"androidVersion", "11\n"}}},
        {"date", "2013-06-01T00:00:00Z"},
        {"complete", false},
        {"missing", {"photos/lost.jpg", "music/"}},
        {"messages", messages},
        {"conversations",
         {{{"address", "07700 900123"}, {"messages", {0, 1}}},
          {{"address", "+1 555 123 4567"}, {"messages", {2}}},
          {{"address", "+15550009999"}, {"messages", big}}}}, // message 3 is in no conversation
        {"contacts",
         {{"Ada", "Lovelace", "+44 7700-900123", "", "", "ada@example.org", ""},
          {"Bob", kHostile, "0555 123 4567", "", "", "", ""},
          {"Cy", "", "+1 (555) 000-1111", "", "", "", ""},
          {"Dee", "", "+44 555 000 1111", "", "", "", ""}}},
        {"calls", {{"2013-05-30 08:00:00", "3", "+447700900123", "", "0"}}},
        {"events",
         {{"1370044800000", "1370048400000", "Car service", "Room 4.12"},
          {"1370131200000", "1370217600000", "Holiday", ""}}},
        {"apps", {{{"package", "org.example.notes"}, {"label", "Notes"}, {"version", "2.1"}}}},
        {"photos", {{{"file", "photos/DCIM/a#1.jpg"}, {"size", 3}}}},
        {"music", {{{"file", "music/Kilo/Paper Roads/01 - Slow Sky.wav"}, {"size", 4}}}},
        {"videos", {{{"file", "videos/Holiday.mp4"}, {"size", 5}}}}};
    ztest::writeFile(dir + "/index.html", zentro::cli::backupPageHtml());
    ztest::writeFile(dir + "/data.js", zentro::cli::backupPageScript(data));
}

class BackupPage : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access("/usr/bin/chromium", X_OK) != 0)
            GTEST_SKIP() << "chromium is not installed (scripts/setup-deps)";
        writeBackup(work.path());
    }
    // The browser runs in a fixed time zone so local times are known.
    std::string chromium(const std::string& what, const std::string& hash) {
        return "cd '" + work.path() +
               "' && TZ=Asia/Tokyo timeout 120 /usr/bin/chromium --headless --no-sandbox " +
               "--disable-gpu --no-first-run --disable-background-networking --disable-component-update " +
               "--disable-sync --user-data-dir='" + work.file("profile") + "' --window-size=1200,800 " +
               what + " 'file://" + work.path() + "/index.html" + hash + "'";
    }
    std::string dom(const std::string& hash) {
        const std::string out = work.file("dom.html");
        EXPECT_EQ(std::system((chromium("--dump-dom", hash) + " >'" + out + "' 2>/dev/null").c_str()), 0);
        return ztest::readFile(out);
    }
    ztest::ScratchFolder work;
};

TEST_F(BackupPage, ShowsEachStateOfTheAddressBar) {
    const struct {
        const char* hash;
        std::vector<std::string> shown, absent;
    } cases[] = {
        // First screen: conversations named by contacts (national and spaced numbers match), the
        // trimmed phone name, the incomplete banner, the marked tab, times in the viewer's zone.
        {"",
         {"Tavian &lt;b&gt;X1&lt;/b&gt; · Android 11<", "backed up 2013-06-01 09:00",
          "This backup is incomplete", "photos/lost.jpg, music/",
          "class=\"tab selected\" role=\"tab\" aria-selected=\"true\">Messages",
          "<div class=\"who\">Ada Lovelace <span class=\"muted\">07700 900123</span>",
          "<div class=\"who\">0555 000 1111</div>", "4 conversations, 100004 messages"},
         {"aria-selected=\"true\">Calls"}},
        {"#tab=messages&open=07700%20900123",
         {"<h2 class=\"who\">Ada Lovelace", "Lunch at noon?", "2013-05-31 10:05 · sent"},
         {}},
        // A hostile body and a hostile contact name stay text.
        {"#tab=messages&open=%2B1%20555%20123%204567",
         {"<h2 class=\"who\">Bob &lt;img src=x onerror=", "&lt;img src=x onerror=document.title='owned'&gt;"},
         {"<img src=\"x\"", "<title>owned"}},
        {"#tab=messages&q=lunch",
         {"2 found for “lunch”", "<mark>Lunch</mark> at noon?", "Yes, <mark>LUNCH</mark> works",
          "<span class=\"who\">Ada Lovelace"},
         {"filler"}},
        {"#q=7700%20900", {"<span class=\"kind\">contact</span><span class=\"who\">Ada Lovelace"}, {"Bob"}},
        {"#tab=messages&open=%2B15550009999",
         {"99801-100000 of 100000", "filler 99999"},
         {"filler 99799<"}}, // one page
        {"#tab=messages&open=%2B15550009999&msg=10&q=filler%206",
         {"1-200 of 100000", "<div class=\"msg in hit\">filler 6<"},
         {"filler 200<"}},
        {"#tab=calls", {"aria-selected=\"true\">Calls", "<div class=\"who\">Ada Lovelace", "missed"}, {}},
        {"#tab=calendar&open=0",
         {"Car service", "2013-06-01 09:00", "2013-06-01 10:00", "Room 4.12", "2013-06-02 · all day"},
         {}},
        {"#tab=apps&open=org.example.notes",
         {"aria-selected=\"true\">Applications (1)", "org.example.notes"},
         {}},
        {"#tab=music", {"<div class=\"who\">Kilo/Paper Roads</div>", "All music"}, {}},
        {"#tab=photos&open=All%20photos", {"href=\"photos/DCIM/a%231.jpg\""}, {}},
    };
    for (const auto& c : cases) {
        const std::string page = dom(c.hash);
        for (const std::string& s : c.shown)
            EXPECT_NE(page.find(s), std::string::npos) << c.hash << ": " << s;
        for (const std::string& s : c.absent)
            EXPECT_EQ(page.find(s), std::string::npos) << c.hash << ": " << s;
    }
}

// A data.js of the wrong shapes: every tab still draws, and no file name leaves the folder.
TEST_F(BackupPage, DrawsMalformedDataAsFarAsItGoes) {
    ztest::writeFile(work.file("data.js"),
                     R"J(window.BACKUP_DATA = {"phone": "x", "missing": [null, {"file": 3}],
        "messages": ["x", null, ["2013", "1", null, {"b": 1}]], "conversations": [{"messages": [-1, 1e9, "2", 2]}],
        "contacts": [null, 5, [null, {"n": 1}, []]], "events": [[1e300, "x"], [8.64e15, 8.64e16]], "apps": {},
        "photos": [null, {"file": "../../etc/passwd"}, {"file": "javascript:alert(1)"}], "music": "x"};)J");
    for (const char* hash :
         {"", "#tab=calendar&open=1", "#tab=photos&open=All%20photos", "#tab=contacts&open=2"}) {
        const std::string page = dom(hash);
        EXPECT_NE(page.find("class=\"row "), std::string::npos) << hash;
        EXPECT_EQ(page.find("<p class=\"error\">"), std::string::npos) << hash;
        for (const char* link : {"href=\"../", "src=\"../", "href=\"javascript:", "src=\"javascript:"})
            EXPECT_EQ(page.find(link), std::string::npos) << hash << ": " << link;
    }
}

} // namespace
