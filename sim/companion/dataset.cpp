#include "companion/dataset.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>
#include <map>

#include "companion/codec.h"
#include "companion/media_files.h"

namespace zsim::companion {

namespace {

const char* const kGiven[] = {"Anna",  "Ben",   "Clara", "David",  "Elena", "Felix", "Grace",  "Henry",
                              "Iris",  "Jonas", "Karen", "Liam",   "Maria", "Noah",  "Olivia", "Paul",
                              "Rosa",  "Simon", "Tara",  "Victor", "Wendy", "Yusuf", "Zoe",    "Marta",
                              "Lucas", "Nadia", "Omar",  "Chloé",  "Jörg",  "Søren"};
const char* const kFamily[] = {"Adams",  "Baker",   "Costa",  "Dorn",   "Evans",   "Fischer", "Garcia",
                               "Hughes", "Ivanova", "Jensen", "Keller", "Lopez",   "Meyer",   "Nakamura",
                               "Olsen",  "Patel",   "Quinn",  "Rossi",  "Schmidt", "Turner",  "Ueda",
                               "Vogel",  "Walsh",   "Young",  "Zhang",  "Novak",   "Moreau",  "Brennan"};
const char* const kNick[] = {"Annie", "Benny", "Doc", "Ellie", "Fee", "Hank", "Jo", "Kat", "Max", "Tiny"};
const char* const kOrg[] = {"Northwind Traders", "Blue Harbor Clinic", "City Library",
                            "Greenfield School", "Atlas Logistics",    "Riverside Bakery",
                            "Summit Consulting", "Polar Labs"};
const char* const kTitle[] = {"Manager",  "Engineer",   "Teacher", "Nurse",
                              "Designer", "Accountant", "Driver",  "Chef"};
const char* const kStreet[] = {"Maple Street", "Harbour Road", "Station Square", "Hill Lane",
                               "Park Avenue",  "Mill Way",     "Church Street",  "Lake View"};
const char* const kCity[] = {"Springfield", "Riverton", "Lakeside", "Fairview", "Millbrook", "Oakdale"};
const char* const kGroup[] = {"Family", "Friends", "Coworkers", "Sports club"};
const char* const kNote[] = {"Met at the conference", "Allergic to nuts", "Spare key holder",
                             "Call after 6 pm",       "Plays the cello",  "Neighbour, flat 3B"};
const char* const kDomain[] = {"mail.example", "post.example", "inbox.example", "example.org"};

const char* const kOpen[] = {"Hi",     "Hey",   "Hello",     "Morning",        "OK",      "Sure",
                             "Thanks", "Sorry", "Good news", "Quick question", "Reminder"};
const char* const kPhrase[] = {"are you coming tonight",
                               "I will be there at seven",
                               "can you call me back",
                               "the train is late again",
                               "see you at the station",
                               "did you get my email",
                               "lunch tomorrow",
                               "happy birthday",
                               "the meeting moved to Thursday",
                               "I left the keys at home",
                               "the parcel arrived",
                               "running ten minutes late",
                               "let's meet at the café",
                               "bring the charger please",
                               "that sounds great",
                               "ping me when you land",
                               "dinner is ready",
                               "tickets are booked",
                               "Grüße aus München",
                               "on my way 🚗"};
const char* const kClose[] = {"", "", "!", ".", " :)", "?", " thanks", " see you", " x"};
const char* const kServiceBody[] = {"Your code is %04d. Do not share it.",
                                    "Your parcel %04d is out for delivery today.",
                                    "Balance alert: %04d units left on your plan.",
                                    "Appointment confirmed, ref %04d. Reply STOP to opt out."};

const char* const kEventTitle[] = {
    "Dentist",          "Team meeting", "Yoga",     "Birthday party", "Flight",         "Dinner",
    "Parents' evening", "Car service",  "Football", "Book club",      "Project review", "Haircut"};
const char* const kPlace[] = {"Room 4.12", "City Hall", "Riverside Bakery",   "Central Station",
                              "Gym",       "Home",      "Airport Terminal 2", ""};
const char* const kZone[] = {"UTC", "Europe/London", "Europe/Berlin", "America/New_York", "Asia/Tokyo"};
const char* const kRule[] = {"FREQ=WEEKLY;BYDAY=MO", "FREQ=WEEKLY;BYDAY=TU,TH", "FREQ=YEARLY",
                             "FREQ=DAILY;COUNT=5", "FREQ=MONTHLY;BYMONTHDAY=1"};

const char* const kAppWord[] = {"bright", "pocket", "swift", "cloud", "pixel", "quiet", "river", "stone",
                                "maple",  "orbit",  "lumen", "tidy",  "north", "paper", "echo",  "nova"};
const char* const kAppNoun[] = {"notes",   "weather",   "tasks",  "reader",  "radio",
                                "maps",    "budget",    "chess",  "scanner", "fitness",
                                "recipes", "translate", "camera", "wallet",  "puzzle"};
const char* const kPermission[] = {
    "INTERNET", "CAMERA",  "READ_CONTACTS", "ACCESS_FINE_LOCATION", "RECORD_AUDIO", "WRITE_EXTERNAL_STORAGE",
    "VIBRATE",  "READ_SMS"};

const char* const kArtist[] = {"The Lanterns", "Mira Soleil",   "Northbound",  "Echo Park Trio",
                               "Dusty Keys",   "Velvet Static", "June Harper", "Kilo & Lima"};
const char* const kAlbumWord[] = {"Blue",  "Paper",    "Midnight", "Golden",
                                  "Quiet", "Electric", "Summer",   "Hollow"};
const char* const kAlbumNoun[] = {"Hours", "Lights",  "Roads",   "Letters",
                                  "Tides", "Gardens", "Signals", "Rooms"};
const char* const kTrackWord[] = {"Slow", "Falling", "Bright", "Lost", "Open", "Little", "Wild", "Late"};
const char* const kTrackNoun[] = {"River", "Sky", "Heart", "Train", "Window", "Morning", "Fire", "Song"};
const char* const kMovie[] = {"Holiday",     "Birthday",  "Concert",  "Garden tour",
                              "First steps", "Road trip", "Snow day", "Beach"};

// Generated data ends around this date plus up to a year, depending on the seed.
constexpr int64_t kBaseEnd = 1370044800; // 2013-06-01 00:00:00

int64_t endTime(uint32_t seed) { return kBaseEnd + static_cast<int64_t>(seed % 365) * 86400 + 36000; }

int defaultOr(int requested, int fallback, int limit) {
    if (requested < 0) return 0;
    if (requested == 0) return fallback;
    return std::min(requested, limit);
}

std::string fmt(const char* format, long long a) {
    char text[128];
    std::snprintf(text, sizeof text, format, a);
    return text;
}

std::string mobileNumber(Rng& rng) { return "+1555" + fmt("%07lld", rng.range(0, 9999999)); }
std::string landline(Rng& rng) {
    return "+1555" + fmt("%03lld", rng.range(200, 999)) + fmt("%04lld", rng.range(0, 9999));
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string asciiOnly(const std::string& s) {
    std::string out;
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x80) out.push_back(c);
    return out;
}

Contact makeContact(uint32_t seed, int index) {
    Rng rng(mixSeed(seed, 0xC0417AC7ull + static_cast<uint64_t>(index)));
    const bool full = index == 0; // the first contact carries every field
    auto has = [&](int percent) { return full || rng.chance(percent); };
    Contact c;
    c.id = index + 1;
    auto& f = c.fields;
    f[0] = std::to_string(c.id);
    const std::string given = rng.pick(kGiven), family = rng.pick(kFamily);
    f[1] = given;
    f[2] = family;
    if (has(30)) f[3] = rng.pick(kNick);
    f[4] = mobileNumber(rng);
    if (has(40)) f[5] = landline(rng);
    if (has(40)) f[6] = landline(rng);
    if (has(20)) f[7] = "https://www." + lower(asciiOnly(family)) + "-" + std::to_string(c.id) + ".example";
    const std::string mailName = lower(asciiOnly(given)) + "." + lower(asciiOnly(family));
    if (has(60)) f[8] = mailName + "@" + rng.pick(kDomain);
    if (has(30))
        f[9] = fmt("%04lld", rng.range(1950, 2005)) + fmt("-%02lld", rng.range(1, 12)) +
               fmt("-%02lld", rng.range(1, 28));
    if (has(50)) f[10] = rng.pick(kGroup);
    if (has(20)) f[11] = rng.pick(kNote);
    const bool employed = has(40);
    if (employed) f[12] = rng.pick(kOrg);
    if (employed && has(70)) f[13] = rng.pick(kTitle);
    if (has(30)) f[16] = fmt("%lld ", rng.range(1, 250)) + rng.pick(kStreet) + ", " + rng.pick(kCity);
    if (has(20)) f[17] = fmt("%lld ", rng.range(1, 250)) + rng.pick(kStreet) + ", " + rng.pick(kCity);
    if (has(5)) f[18] = landline(rng);
    if (has(10)) f[19] = landline(rng);
    if (has(30)) f[20] = lower(asciiOnly(given)) + "@" + lower(asciiOnly(family)) + "-work.example";
    return c;
}

// The people and services that messages and calls are exchanged with. A correspondent that
// is a contact uses the contact's mobile number, as the generator makes it.
struct Correspondent {
    std::string number;
    int64_t contactId = 0;
    std::string name;
};

std::vector<Correspondent> correspondents(uint32_t seed, int contacts, int wanted, uint64_t salt) {
    Rng rng(mixSeed(seed, salt));
    std::vector<Correspondent> out;
    for (int i = 0; i < wanted; ++i) {
        Correspondent c;
        if (i % 3 != 2 && i < contacts) {
            const Contact contact = makeContact(seed, i);
            c.number = *contact.fields[4];
            c.contactId = contact.id;
            c.name = contact.displayName();
        } else if (i % 7 == 5) {
            c.number = fmt("5%04lld", rng.range(0, 9999)); // short code of a service
        } else {
            c.number = mobileNumber(rng);
        }
        out.push_back(std::move(c));
    }
    return out;
}

// Often the same correspondent as last time, otherwise a skewed pick so some threads are long.
size_t nextCorrespondent(Rng& rng, size_t previous, size_t count) {
    if (rng.chance(65)) return previous;
    const auto a = static_cast<size_t>(rng.range(0, static_cast<int64_t>(count) - 1));
    const auto b = static_cast<size_t>(rng.range(0, static_cast<int64_t>(count) - 1));
    return std::min(a, b);
}

std::string messageBody(Rng& rng, const Correspondent& who) {
    if (who.number.size() == 5) return fmt(rng.pick(kServiceBody), rng.range(0, 9999));
    std::string body = rng.pick(kOpen);
    body += rng.chance(50) ? ", " : " ";
    body += rng.pick(kPhrase);
    if (rng.chance(30)) {
        body += ". ";
        std::string more = rng.pick(kPhrase);
        if (!more.empty() && more[0] >= 'a' && more[0] <= 'z')
            more[0] = static_cast<char>(more[0] - 'a' + 'A');
        body += more;
    }
    body += rng.pick(kClose);
    return body;
}

int64_t meanGap(int count, int64_t span) {
    return std::clamp<int64_t>(span / std::max(count, 1), 30, 2 * 86400);
}

} // namespace

uint64_t Rng::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int64_t Rng::range(int64_t lo, int64_t hi) {
    const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
    return lo + static_cast<int64_t>(span == 0 ? next() : next() % span);
}

uint64_t mixSeed(uint64_t seed, uint64_t salt) {
    Rng rng(seed * 0x100000001B3ull ^ salt);
    return rng.next();
}

std::string Contact::displayName() const {
    const std::string given = fields[1].value_or(""), family = fields[2].value_or("");
    if (given.empty()) return family;
    if (family.empty()) return given;
    return given + " " + family;
}

const MediaItem* MediaCatalogue::byId(int64_t id) const {
    for (const MediaItem& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

DataSizes effectiveSizes(uint32_t seed, const DataSizes& r) {
    DataSizes s;
    s.messages = defaultOr(r.messages, 200 + static_cast<int>(seed % 301), 1000000);
    s.calls = defaultOr(r.calls, 60 + static_cast<int>(seed % 91), 1000000);
    s.events = defaultOr(r.events, 15 + static_cast<int>(seed % 26), 100000);
    s.contacts = defaultOr(r.contacts, 40 + static_cast<int>(seed % 81), 100000);
    s.apps = defaultOr(r.apps, 10 + static_cast<int>(seed % 11), 2000);
    s.photos = defaultOr(r.photos, 10 + static_cast<int>(seed % 11), 5000);
    s.music = defaultOr(r.music, 6 + static_cast<int>(seed % 7), 5000);
    s.videos = defaultOr(r.videos, 3 + static_cast<int>(seed % 4), 5000);
    return s;
}

std::vector<Message> generateMessages(uint32_t seed, const DataSizes& requested) {
    const DataSizes sizes = effectiveSizes(seed, requested);
    const int count = sizes.messages;
    std::vector<Message> out;
    if (count == 0) return out;
    Rng rng(mixSeed(seed, 0x5A5ull));
    const auto people = correspondents(seed, sizes.contacts, std::clamp(count / 25, 5, 400), 0xC022ull);
    std::map<std::string, int64_t> threads;
    out.resize(static_cast<size_t>(count));
    const int64_t gap = meanGap(count, 3 * 365 * 86400);
    int64_t when = endTime(seed) - rng.range(0, 3600);
    size_t who = 0;
    // Newest first, walking back in time; ids then run with the date.
    for (int i = count - 1; i >= 0; --i) {
        who = nextCorrespondent(rng, who, people.size());
        const Correspondent& c = people[who];
        Message& m = out[static_cast<size_t>(i)];
        m.id = i + 1;
        m.address = c.number;
        m.person = c.contactId;
        const bool service = c.number.size() == 5;
        m.type = service || rng.chance(55) ? 1 : 2;
        m.read = (m.type == 1 && count - i <= 6 && rng.chance(60)) ? 0 : 1;
        m.body = messageBody(rng, c);
        m.date = formatDate(when);
        when -= rng.range(gap / 4, gap * 7 / 4);
    }
    // Thread ids in the order conversations began, as the provider numbers them.
    for (Message& m : out) {
        auto [it, added] = threads.try_emplace(m.address, static_cast<int64_t>(threads.size()) + 1);
        m.threadId = it->second;
    }
    return out;
}

std::vector<Call> generateCalls(uint32_t seed, const DataSizes& requested) {
    const DataSizes sizes = effectiveSizes(seed, requested);
    const int count = sizes.calls;
    std::vector<Call> out;
    if (count == 0) return out;
    Rng rng(mixSeed(seed, 0xCA11ull));
    const auto people = correspondents(seed, sizes.contacts, std::clamp(count / 10, 4, 300), 0xCA1Eull);
    out.resize(static_cast<size_t>(count));
    const int64_t gap = meanGap(count, 2 * 365 * 86400);
    int64_t when = endTime(seed) - rng.range(600, 7200);
    size_t who = 0;
    for (int i = count - 1; i >= 0; --i) {
        who = nextCorrespondent(rng, who, people.size());
        const Correspondent& c = people[who];
        Call& call = out[static_cast<size_t>(i)];
        call.id = i + 1;
        call.number = c.number;
        if (c.contactId != 0) call.name = c.name;
        const int64_t roll = rng.range(0, 99);
        call.type = roll < 45 ? 1 : roll < 85 ? 2 : 3;
        call.duration = std::to_string(call.type == 3 ? 0 : rng.range(4, rng.chance(20) ? 3600 : 400));
        call.date = formatDate(when);
        when -= rng.range(gap / 4, gap * 7 / 4);
    }
    return out;
}

std::vector<Event> generateEvents(uint32_t seed, const DataSizes& requested) {
    const int count = effectiveSizes(seed, requested).events;
    std::vector<Event> out;
    Rng rng(mixSeed(seed, 0xE7E7ull));
    const int64_t end = endTime(seed);
    for (int i = 0; i < count; ++i) {
        Event e;
        e.calendarId = rng.chance(75) ? 1 : 2;
        e.title = rng.pick(kEventTitle);
        const bool allDay = rng.chance(15);
        int64_t start = end + rng.range(-300, 120) * 86400;
        start = allDay ? start - start % 86400 : start - start % 900;
        const int64_t length = allDay ? 86400 : rng.range(2, 12) * 900;
        e.start = std::to_string(start * 1000);
        e.end = std::to_string((start + length) * 1000);
        e.location = rng.pick(kPlace);
        e.timeZone = allDay ? "UTC" : rng.pick(kZone);
        e.description = rng.chance(40) ? "Bring the documents" : "";
        const bool alarm = rng.chance(60);
        e.hasAlarm = alarm ? "1" : "0";
        e.minutes = alarm ? std::to_string(rng.chance(50) ? 10 : rng.chance(50) ? 30 : 1440) : "";
        if (rng.chance(20)) e.rrule = rng.pick(kRule);
        out.push_back(std::move(e));
    }
    std::stable_sort(out.begin(), out.end(), [](const Event& a, const Event& b) {
        return std::stoll(a.start) < std::stoll(b.start);
    });
    for (size_t i = 0; i < out.size(); ++i) out[i].id = static_cast<int64_t>(i) + 1;
    return out;
}

std::vector<Contact> generateContacts(uint32_t seed, const DataSizes& requested) {
    const int count = effectiveSizes(seed, requested).contacts;
    std::vector<Contact> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out.push_back(makeContact(seed, i));
    return out;
}

std::vector<App> systemApps(uint32_t seed) {
    struct Known {
        const char *package, *label, *activity, *permissions;
    };
    static const Known known[] = {
        {"com.android.settings", "Settings", ".Settings", "WRITE_SETTINGS"},
        {"com.android.phone", "Phone", ".PhoneApp", "CALL_PHONE,READ_CONTACTS"},
        {"com.android.mms", "Messaging", ".ui.ConversationList", "READ_SMS,SEND_SMS,READ_CONTACTS"},
        {"com.android.contacts", "Contacts", ".activities.PeopleActivity", "READ_CONTACTS,WRITE_CONTACTS"},
        {"com.android.calendar", "Calendar", ".AllInOneActivity", "READ_CALENDAR,WRITE_CALENDAR"},
        {"com.android.camera", "Camera", ".CameraLauncher", "CAMERA,RECORD_AUDIO"},
        {"com.android.gallery3d", "Gallery", ".app.GalleryActivity", "READ_EXTERNAL_STORAGE"},
        {"com.android.music", "Music", ".MusicBrowserActivity", "READ_EXTERNAL_STORAGE"},
        {"com.android.browser", "Browser", ".BrowserActivity", "INTERNET"},
        {"com.android.deskclock", "Clock", ".DeskClock", "WAKE_LOCK,VIBRATE"},
    };
    Rng rng(mixSeed(seed, 0x5757ull));
    const int64_t built = (kBaseEnd - 400 * 86400) * 1000;
    std::vector<App> out;
    for (const Known& k : known) {
        App a;
        a.package = k.package;
        a.className = std::string(k.package) + k.activity;
        a.label = k.label;
        a.version = "4.4.2-" + fmt("%lld", rng.range(1000000, 9999999));
        a.versionCode = 19;
        a.system = true;
        a.codeSize = rng.range(200, 9000) * 1024;
        a.dataSize = rng.range(4, 900) * 1024;
        a.cacheSize = rng.range(0, 200) * 1024;
        a.installTime = built;
        a.updateTime = built;
        a.permissions = k.permissions;
        out.push_back(std::move(a));
    }
    return out;
}

std::vector<App> generateUserApps(uint32_t seed, const DataSizes& requested) {
    const int count = effectiveSizes(seed, requested).apps;
    Rng rng(mixSeed(seed, 0xA995ull));
    std::vector<App> out;
    std::map<std::string, int> seen;
    for (int i = 0; i < count; ++i) {
        const std::string word = rng.pick(kAppWord), noun = rng.pick(kAppNoun);
        std::string package = "org." + word + noun + ".app";
        if (int n = seen[package]++; n > 0) package = "org." + word + noun + std::to_string(n + 1) + ".app";
        App a;
        a.package = package;
        a.className = package + ".MainActivity";
        a.label = std::string(1, static_cast<char>(word[0] - 'a' + 'A')) + word.substr(1) + " " +
                  std::string(1, static_cast<char>(noun[0] - 'a' + 'A')) + noun.substr(1);
        const int64_t major = rng.range(1, 6), minor = rng.range(0, 12), patch = rng.range(0, 30);
        a.version = fmt("%lld", major) + fmt(".%lld", minor) + fmt(".%lld", patch);
        a.versionCode = static_cast<int>(major * 10000 + minor * 100 + patch);
        a.onSdCard = rng.chance(10);
        a.codeSize = rng.range(300, 40000) * 1024;
        a.dataSize = rng.range(8, 20000) * 1024;
        a.cacheSize = rng.range(0, 5000) * 1024;
        a.installTime = (endTime(seed) - rng.range(30, 700) * 86400) * 1000;
        a.updateTime = a.installTime + (rng.chance(60) ? rng.range(1, 25) * 86400000 : 0);
        std::string permissions;
        for (const char* p : kPermission) {
            if (rng.chance(30)) {
                if (!permissions.empty()) permissions += ",";
                permissions += p;
            }
        }
        a.permissions = permissions.empty() ? "INTERNET" : permissions;
        out.push_back(std::move(a));
    }
    return out;
}

MediaCatalogue generateMedia(MediaKind kind, uint32_t seed, const DataSizes& requested, FileTree& files) {
    const DataSizes sizes = effectiveSizes(seed, requested);
    MediaCatalogue cat;
    const int64_t end = endTime(seed);
    if (kind == MediaKind::Photo) {
        Rng rng(mixSeed(seed, 0xF070ull));
        int64_t when = end - rng.range(3600, 86400 * 3);
        std::vector<MediaItem> items(static_cast<size_t>(sizes.photos));
        for (int i = sizes.photos - 1; i >= 0; --i) { // newest first, walking back in time
            MediaItem& p = items[static_cast<size_t>(i)];
            p.artSeed = rng.next();
            const std::string stamp = formatDate(when); // YYYY-MM-DD HH:MM:SS
            auto digits = [&](size_t at, size_t n) { return stamp.substr(at, n); };
            const bool screenshot = i % 5 == 4;
            if (screenshot) {
                p.displayName = "Screenshot_" + digits(0, 10) + "-" + digits(11, 2) + "-" + digits(14, 2) +
                                "-" + digits(17, 2) + ".png";
                p.path = std::string(kSdcard) + "/DCIM/Screenshots/" + p.displayName;
            } else {
                p.displayName = "IMG_" + digits(0, 4) + digits(5, 2) + digits(8, 2) + "_" + digits(11, 2) +
                                digits(14, 2) + digits(17, 2) + ".png";
                p.path = std::string(kSdcard) + "/DCIM/Camera/" + p.displayName;
            }
            p.title = p.displayName.substr(0, p.displayName.size() - 4);
            static const int dims[][2] = {{160, 120}, {120, 160}, {128, 96},
                                          {96, 128},  {200, 150}, {90, 160}};
            const auto& d = dims[screenshot ? 5 : rng.range(0, 4)];
            const std::string bytes = makeScenePng(d[0], d[1], p.artSeed);
            p.size = static_cast<int64_t>(bytes.size());
            p.created = when;
            p.modified = when + (rng.chance(20) ? rng.range(60, 86400) : 0);
            files.write(p.path, bytes, static_cast<uint32_t>(p.modified));
            when -= rng.range(600, 86400 * 4);
        }
        cat.items = std::move(items);
    } else if (kind == MediaKind::Music) {
        Rng rng(mixSeed(seed, 0x3051Cull));
        const int albums = std::max(1, (sizes.music + 3) / 4);
        struct Album {
            std::string name, artist;
        };
        std::vector<Album> list;
        for (int a = 0; a < albums; ++a)
            list.push_back(
                {std::string(rng.pick(kAlbumWord)) + " " + rng.pick(kAlbumNoun), rng.pick(kArtist)});
        for (int i = 0; i < sizes.music; ++i) {
            MediaItem t;
            t.albumId = i % albums + 1;
            const Album& album = list[static_cast<size_t>(t.albumId - 1)];
            t.album = album.name;
            t.artist = album.artist;
            t.title = std::string(rng.pick(kTrackWord)) + " " + rng.pick(kTrackNoun);
            t.displayName = fmt("%02lld - ", i / albums + 1) + t.title + ".wav";
            t.path = std::string(kSdcard) + "/Music/" + t.artist + "/" + t.album + "/" + t.displayName;
            t.durationMs = rng.range(2, 6) * 1000;
            t.artSeed = mixSeed(seed, 0xA1B0ull + static_cast<uint64_t>(t.albumId));
            const std::string bytes =
                makeToneWav(static_cast<int>(rng.range(220, 880)), static_cast<int>(t.durationMs));
            t.size = static_cast<int64_t>(bytes.size());
            t.created = end - rng.range(30, 900) * 86400;
            t.modified = t.created;
            files.write(t.path, bytes, static_cast<uint32_t>(t.modified));
            cat.items.push_back(std::move(t));
        }
    } else {
        Rng rng(mixSeed(seed, 0x71DE0ull));
        int64_t when = end - rng.range(3600, 86400 * 10);
        std::vector<MediaItem> items(static_cast<size_t>(sizes.videos));
        for (int i = sizes.videos - 1; i >= 0; --i) {
            MediaItem v;
            v.artSeed = rng.next();
            const std::string stamp = formatDate(when);
            if (i % 3 == 2) {
                v.title = std::string(rng.pick(kMovie)) + " " + stamp.substr(0, 4);
                v.displayName = v.title + ".avi";
                v.path = std::string(kSdcard) + "/Movies/" + v.displayName;
            } else {
                v.displayName = "VID_" + stamp.substr(0, 4) + stamp.substr(5, 2) + stamp.substr(8, 2) + "_" +
                                stamp.substr(11, 2) + stamp.substr(14, 2) + stamp.substr(17, 2) + ".avi";
                v.title = v.displayName.substr(0, v.displayName.size() - 4);
                v.path = std::string(kSdcard) + "/DCIM/Camera/" + v.displayName;
            }
            const int frames = static_cast<int>(rng.range(6, 15)), fps = 5;
            v.durationMs = frames * 1000 / fps;
            const std::string bytes = makeClipAvi(48, 32, frames, fps, v.artSeed);
            v.size = static_cast<int64_t>(bytes.size());
            v.created = when;
            v.modified = when;
            files.write(v.path, bytes, static_cast<uint32_t>(v.modified));
            items[static_cast<size_t>(i)] = std::move(v);
            when -= rng.range(86400, 86400 * 30);
        }
        cat.items = std::move(items);
    }
    for (MediaItem& item : cat.items) item.id = cat.nextId++;
    return cat;
}

MediaItem describeNewFile(MediaKind kind, const std::string& path, const std::string& bytes, int64_t now) {
    MediaItem item;
    item.path = path;
    const size_t slash = path.rfind('/');
    item.displayName = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = item.displayName.rfind('.');
    item.title = (dot == std::string::npos || dot == 0) ? item.displayName : item.displayName.substr(0, dot);
    item.size = static_cast<int64_t>(bytes.size());
    item.created = now;
    item.modified = now;
    item.artSeed = crc32(bytes);
    if (kind == MediaKind::Music) {
        item.artist = "<unknown>";
        item.album = "Unknown album";
        // A PCM WAV tells its length: data bytes over the byte rate.
        if (bytes.size() >= 44 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WAVE") == 0) {
            auto le32 = [&](size_t at) {
                uint32_t v = 0;
                for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
                return v;
            };
            if (const uint32_t byteRate = le32(28); byteRate > 0)
                item.durationMs = static_cast<int64_t>(le32(40)) * 1000 / byteRate;
        }
    }
    return item;
}

const std::vector<std::string>& hostileTexts() {
    static const std::vector<std::string> texts = {
        "\x1b]0;owned\x07\x1b[2J\x1b[31mred",     // retitles, clears the screen, colours
        "bad \xff\xfe utf-8 \xc3",                // not UTF-8
        "../../escape/../x",                      // separators
        "a/b\\c",                                 //
        ".bashrc",                                // hidden, and a file people care about
        "=HYPERLINK(\"http://x.example\",\"y\")", // spreadsheet formulas
        "@SUM(1+1)*cmd|' /C calc'!A0",            //
        "+1 (555) 010",                           //
        "-2+3",                                   //
        "\tTAB",                                  //
        "\rCR",                                   //
        "line\nbreak",                            //
        "CON",                                    // a Windows device name
        "csi \xc2\x9b"
        "31m c1",                               // an 8-bit CSI
        std::string(100, '\x80'),               // continuation bytes only
        std::string(300, 'x') + "\xe2\x82\xac", // long, ending in a 3-byte character
    };
    return texts;
}

namespace {

const std::string& hostileText(size_t i) { return hostileTexts()[i % hostileTexts().size()]; }

} // namespace

void makeHostile(std::vector<Message>& messages) {
    for (size_t i = 0; i < messages.size() && i < hostileTexts().size(); ++i) {
        messages[i].body = hostileText(i);
        if (i % 2 == 0) messages[i].address = hostileText(i + 5);
    }
}

void makeHostile(std::vector<Call>& calls) {
    for (size_t i = 0; i < calls.size() && i < hostileTexts().size(); ++i) {
        calls[i].name = hostileText(i);
        calls[i].number = hostileText(i + 5);
    }
}

void makeHostile(std::vector<Event>& events) {
    for (size_t i = 0; i < events.size() && i < hostileTexts().size(); ++i) {
        events[i].title = hostileText(i);
        events[i].location = hostileText(i + 3);
        events[i].description = hostileText(i + 7);
    }
}

void makeHostile(std::vector<Contact>& contacts) {
    for (size_t i = 0; i < contacts.size() && i < hostileTexts().size(); ++i) {
        contacts[i].fields[1] = hostileText(i + 14); // a NAME of 100 continuation bytes first
        contacts[i].fields[4] = hostileText(i + 5);
        contacts[i].fields[11] = hostileText(i);
    }
}

void makeHostile(std::vector<App>& apps) {
    for (size_t i = 0; i < apps.size() && i < hostileTexts().size(); ++i) {
        apps[i].label = hostileText(i);
        apps[i].version = hostileText(i + 1);
    }
}

void makeHostile(MediaKind kind, MediaCatalogue& catalogue, FileTree& files) {
    static const char* const kNames[] = {
        ".bashrc", "line\nbreak\x1b[31m", "CON", "\xff\xfe", "a\\b", "..", ".", "nul.txt"};
    const char* folder = kind == MediaKind::Photo   ? "/sdcard/DCIM/"
                         : kind == MediaKind::Music ? "/sdcard/Music/"
                                                    : "/sdcard/Movies/";
    const char* extension = kind == MediaKind::Photo ? ".png" : kind == MediaKind::Music ? ".wav" : ".avi";
    size_t n = 0;
    for (MediaItem& item : catalogue.items) {
        if (n >= std::size(kNames)) break;
        const auto bytes = files.read(item.path);
        if (!bytes) continue;
        std::string name = kNames[n];
        if (n == 0 && kind != MediaKind::Photo) name += extension; // .bashrc for photos, .bashrc.wav ...
        if (n > 0 && name != ".." && name != ".") name += extension;
        files.remove(item.path);
        // "." and ".." cannot be tree paths: those items keep their file under a plain name
        // and carry the hostile one as the name the phone reports.
        const std::string treeName =
            name == "." || name == ".." ? "dots" + std::to_string(n) + extension : name;
        item.path = folder + treeName;
        files.write(item.path, *bytes, static_cast<uint32_t>(item.modified));
        item.displayName = name;
        item.title = hostileText(n);
        if (kind == MediaKind::Music) item.artist = hostileText(n + 1);
        ++n;
    }
    // A size no file has: sums of sizes must not overflow.
    if (kind == MediaKind::Photo && catalogue.items.size() > n)
        catalogue.items[n].size = std::numeric_limits<int64_t>::max() - 7;
}

namespace {
const char* const kOddText = "Zo\xc3\xab \xe6\x9d\xb1\xe4\xba\xac \xe2\x98\x95\ttab\nsecond line\x07";
} // namespace

void makeTricky(std::vector<Message>& messages) {
    if (messages.size() < 3) return;
    messages[1].address = messages[0].address; // same address, date and type, another body
    messages[1].date = messages[0].date;
    messages[1].type = messages[0].type;
    messages[1].body = messages[0].body + " (again)";
    messages[2].body = kOddText;
}

void makeTricky(std::vector<Call>& calls) {
    if (calls.size() < 3) return;
    calls[1].number = calls[0].number; // same number and date, another type and duration
    calls[1].name = calls[0].name;
    calls[1].date = calls[0].date;
    calls[1].type = calls[0].type == 3 ? 1 : calls[0].type + 1;
    calls[1].duration = "0";
}

void makeTricky(std::vector<Event>& events) {
    if (events.size() < 4) return;
    events[0].title = events[1].title = "Car service"; // same title and start, other places
    events[1].start = events[0].start;
    events[1].end = events[0].end;
    events[0].location = "Room 4.12";
    events[1].location = "City Hall";
    events[2].location.clear();
    events[2].description.clear();
    events[2].rrule.clear();
    events[3].title = kOddText;
    events[3].description = std::string(kOddText) + "; a, b\\c";
}

void makeTricky(std::vector<Contact>& contacts) {
    if (contacts.empty()) return;
    // Added, not changed: the call log's cached names stay those of the phone's contacts.
    const auto add = [&](Contact c) {
        c.id = static_cast<int64_t>(contacts.size()) + 1;
        c.fields[0] = std::to_string(c.id);
        contacts.push_back(std::move(c));
    };
    Contact namesake; // the first one's name, other numbers
    namesake.fields[1] = contacts[0].fields[1];
    namesake.fields[2] = contacts[0].fields[2];
    namesake.fields[4] = "+44 20 7946 0100";
    add(namesake);
    Contact odd;
    odd.fields[1] = "\xc3\x85sa \xc3\x96str\xc3\xb6m \xe5\xb1\xb1\xe7\x94\xb0";
    odd.fields[11] = kOddText;
    odd.fields[5] = "+49 30 1234567";
    add(odd);
    Contact numberOnly;
    numberOnly.fields[4] = "+1 555 0100";
    add(numberOnly);
}

void makeTricky(MediaKind kind, MediaCatalogue& catalogue, FileTree& files) {
    auto& items = catalogue.items;
    if (items.size() < 2) return;
    const MediaItem& first = items[0];
    MediaItem& twin = items[1];
    // One name in two folders; a photo twin also has the first's size but not its bytes.
    const std::string folder = kind == MediaKind::Photo   ? "/sdcard/Pictures/"
                               : kind == MediaKind::Music ? "/sdcard/Music/Other Artist/Other Album/"
                                                          : "/sdcard/Movies/Other/";
    auto bytes = files.read(kind == MediaKind::Photo ? first.path : twin.path);
    if (!bytes || bytes->empty()) return;
    if (kind == MediaKind::Photo) (*bytes)[bytes->size() - 1] ^= 0x5a;
    files.remove(twin.path);
    twin.displayName = first.displayName;
    twin.path = folder + first.displayName;
    twin.size = static_cast<int64_t>(bytes->size());
    files.write(twin.path, *bytes, static_cast<uint32_t>(twin.modified));
    if (kind == MediaKind::Photo && items.size() > 2) { // a non-ASCII name
        MediaItem& odd = items[2];
        const auto oddBytes = files.read(odd.path);
        if (!oddBytes) return;
        files.remove(odd.path);
        odd.displayName = "Caf\xc3\xa9 \xe2\x98\x95.png";
        odd.path = "/sdcard/DCIM/Camera/" + odd.displayName;
        files.write(odd.path, *oddBytes, static_cast<uint32_t>(odd.modified));
    }
}

std::string photoThumbnail(const MediaItem& item) { return makeScenePng(32, 24, item.artSeed); }

std::string coverThumbnail(const MediaItem& item) { return makeCoverPng(32, item.artSeed); }

} // namespace zsim::companion
