#include "companion/commands.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>

#include "companion/codec.h"
#include "companion/media_files.h"

namespace zsim::companion {

namespace {

constexpr size_t kDetailLimit = 1023; // detail replies are read into 1,024 bytes with a zero at the end

// Where uploads of each kind land, the folders the push route uses.
const char* const kUploadFolders[] = {"/sdcard/Images/", "/sdcard/Music/", "/sdcard/Videos/"};

constexpr size_t kindIndex(MediaKind kind) { return static_cast<size_t>(kind); }

std::string status(int32_t value) { return leInt32(value); }
const std::string& done() {
    static const std::string s = leInt32(1);
    return s;
}
const std::string& refused() {
    static const std::string s = leInt32(-1);
    return s;
}

int64_t nowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

std::optional<int64_t> offsetArg(const Request& r) {
    auto v = parseDecimal(r.args);
    if (!v || *v < 0) return std::nullopt;
    return v;
}

// Decodes every '-'-separated hex item; nothing when the count differs or an item is not hex.
std::optional<std::vector<std::string>> hexItems(std::string_view args, size_t count) {
    const auto parts = split(args, '-');
    if (parts.size() != count) return std::nullopt;
    std::vector<std::string> out;
    for (std::string_view p : parts) {
        auto d = hexDecode(p);
        if (!d) return std::nullopt;
        out.push_back(std::move(*d));
    }
    return out;
}

std::string trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

// A bare file name (or relative path) that stays inside its folder.
bool validName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos) return false;
    for (std::string_view part : split(name, '/'))
        if (part.empty() || part == "." || part == "..") return false;
    return true;
}

std::string storagePathOf(const std::string& treePath) {
    const size_t n = std::strlen(kSdcard);
    if (treePath.compare(0, n, kSdcard) == 0) return kStorageRoot + treePath.substr(n);
    return treePath;
}

template <class Record, class Writer>
std::string page(const std::vector<Record>& list, const Request& r, bool newestFirst, Writer write) {
    const auto offset = offsetArg(r);
    if (!offset || *offset >= static_cast<int64_t>(list.size())) return {};
    std::string out;
    out.reserve(2048);
    RecordWriter w(out);
    const size_t end = std::min(list.size(), static_cast<size_t>(*offset) + kPageSize);
    for (size_t i = static_cast<size_t>(*offset); i < end; ++i) {
        write(w, newestFirst ? list[list.size() - 1 - i] : list[i]);
        w.end();
    }
    return out;
}

const char* const kUpdateKeywords[21] = {
    "",         "FIRSTNAME", "LASTNAME",    "NICKNAME",    "MOBILE",  "HOMENUMBER",  "WORKNUMBER",
    "HOMEPAGE", "HOMEEMAIL", "BIRTHDAY",    "GROUP",       "NOTE",    "ORGANZATION", "DEPARTMENT",
    "",         "",          "HOMEADDRESS", "WORKADDRESS", "HOMEFAX", "WORKFAX",     "WORKEMAIL"};

} // namespace

const char* const kContactKeys[21] = {"CONTACTID",
                                      "NAME",
                                      "",
                                      "NICKNAME",
                                      "PHONE_PHONE",
                                      "PHONE_HOME",
                                      "PHONE_WORK",
                                      "WEBSITE",
                                      "EMAIL_HOME",
                                      "BIRTHDAY",
                                      "",
                                      "NOTE",
                                      "ORG_NAME",
                                      "ORG_TITLE",
                                      "",
                                      "",
                                      "ADDRESS_HOME",
                                      "ADDRESS_WORK",
                                      "PHONE_HOMEFAX",
                                      "PHONE_WORKFAX",
                                      "EMAIL_WORK"};

std::string commandName(std::string_view text) {
    const size_t end = text.find_first_of(":;");
    return std::string(text.substr(0, end));
}

Request makeRequest(std::string text, std::string payload) {
    Request r;
    r.name = commandName(text);
    if (r.name.size() < text.size() && text[r.name.size()] == ':') {
        std::string_view rest(text);
        rest.remove_prefix(r.name.size() + 1);
        if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
        r.args = std::string(rest);
    }
    r.text = std::move(text);
    r.payload = std::move(payload);
    return r;
}

int64_t payloadLength(const Request& r) {
    if (r.name != "write_photofile" && r.name != "write_musicfile" && r.name != "write_videofile") return 0;
    const auto n = parseDecimal(r.args);
    if (!n || *n <= 0) return 0; // nothing follows a count the library would not send bytes for
    return *n > kMaxPayload ? -1 : *n;
}

CompanionState::CompanionState(Device& device)
    : device_(device) {}

const std::map<std::string, CompanionState::Handler, std::less<>>& CompanionState::table() {
    using S = CompanionState;
    using K = MediaKind;
    static const std::map<std::string, Handler, std::less<>> t = {
        {"hello-transfer", &S::hello},
        {"sync_android_USBStart", &S::notice},
        {"sync_zentrolink_ConnectOK", &S::notice},
        {"getDevciesInfo", &S::deviceInfo},
        {"getExternalStoragePath", &S::storagePath},

        {"getsmsCount", &S::smsCount},
        {"getsmsPart10", &S::smsPage},
        {"ClearSMS", &S::smsClear},
        {"SendSMS", &S::smsSend},
        {"SetDefaultMessage", &S::defaultSet},
        {"ReSetDefaultMessage", &S::defaultReset},
        {"GetDefaultMessage_pkgName", &S::defaultName},

        {"getcalllogcount", &S::callCount},
        {"getcalllogpart10", &S::callPage},
        {"ClearCallHistory", &S::callClear},
        {"AddCallHistory", &S::callAdd},

        {"getcalendarcount", &S::eventCount},
        {"getcalendarpart10", &S::eventPage},
        {"ClearCalender", &S::eventClear},
        {"AddCalender", &S::eventAdd},

        {"getcontactCount", &S::contactCount},
        {"getcontactpart10", &S::contactPage},
        {"AddPerson", &S::contactAdd},
        {"AddPerson3", &S::contactAddAll},
        {"UpdatePerson", &S::contactUpdate},
        {"ClearPerson", &S::contactClear},

        {"flushapplist", &S::appFlush},
        {"getappcount", &S::appCount},
        {"getappindexinfo", &S::appInfo},

        {"flushphotolist", &S::mediaFlush<K::Photo>},
        {"flushmusiclist", &S::mediaFlush<K::Music>},
        {"flushvideolist", &S::mediaFlush<K::Video>},
        {"getdcimcount", &S::mediaCount<K::Photo>},
        {"getmusiccount", &S::mediaCount<K::Music>},
        {"getvideocount", &S::mediaCount<K::Video>},
        {"getdcimindexinfo", &S::mediaInfo<K::Photo>},
        {"getmusicindexinfo", &S::mediaInfo<K::Music>},
        {"getvideoindexinfo", &S::mediaInfo<K::Video>},
        {"getdcimthumb", &S::mediaThumb<K::Photo>},
        {"getmusicthumb", &S::mediaThumb<K::Music>},
        {"deletephoto", &S::mediaDelete<K::Photo>},
        {"deletemusic", &S::mediaDelete<K::Music>},
        {"deletevideofromdevice", &S::mediaDelete<K::Video>},
        {"ClearPhotos", &S::mediaClear<K::Photo>},
        {"ClearMusic", &S::mediaClear<K::Music>},
        {"ClearVideos", &S::mediaClear<K::Video>},
        {"getfilepathForid", &S::mediaPath<K::Photo>},
        {"GetMusicPathById", &S::mediaPath<K::Music>},
        {"GetVideoPathById", &S::mediaPath<K::Video>},
        {"getdcimdata", &S::mediaRead<K::Photo>},
        {"exportfilefromdevice_music", &S::mediaRead<K::Music>},
        {"exportfilefromdevice_video", &S::mediaRead<K::Video>},
        {"checkFileisExist", &S::mediaExists<K::Photo>},
        {"checkMusicFileisExist", &S::mediaExists<K::Music>},
        {"checkVideoFileisExist", &S::mediaExists<K::Video>},
        {"open_photofile", &S::mediaOpen<K::Photo>},
        {"open_Musicfile", &S::mediaOpen<K::Music>},
        {"open_videofile", &S::mediaOpen<K::Video>},
        {"write_photofile", &S::mediaWrite<K::Photo>},
        {"write_musicfile", &S::mediaWrite<K::Music>},
        {"write_videofile", &S::mediaWrite<K::Video>},
        {"close_photofile", &S::mediaClose<K::Photo>},
        {"close_Musicfile", &S::mediaClose<K::Music>},
        {"close_videofile", &S::mediaClose<K::Video>},
        {"addphototodevice", &S::mediaDone<K::Photo>},
        {"addmusictodevice", &S::mediaDone<K::Music>},
        {"addvideotodevice", &S::mediaDone<K::Video>},
        {"addphototodevice_abort", &S::mediaAbandon<K::Photo>},
        {"addmusictodevice_abort", &S::mediaAbandon<K::Music>},
        {"addvideotodevice_abort", &S::mediaAbandon<K::Video>},

        {"sync_zentrolink_Start", &S::markStart},
        {"sync_zentrolink_Update", &S::markUpdate},
        {"sync_zentrolink_End", &S::markEnd},
    };
    return t;
}

std::string CompanionState::handle(const Request& request) {
    const auto& t = table();
    const auto it = t.find(request.name);
    if (it == t.end()) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        return (this->*(it->second))(request);
    } catch (const std::exception&) { // out of memory, say: the app answers nothing, the phone lives on
        return {};
    }
}

CompanionState::Markers CompanionState::markers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return markers_;
}

// ---- data, made on first use ----------------------------------------------------------------

std::vector<Message>& CompanionState::messages() {
    if (!messages_) {
        messages_ = generateMessages(device_.seed, device_.sizes);
        if (device_.hostile) makeHostile(*messages_);
        if (device_.tricky) makeTricky(*messages_);
        nextMessageId_ = static_cast<int64_t>(messages_->size()) + 1;
    }
    return *messages_;
}

std::vector<Call>& CompanionState::calls() {
    if (!calls_) {
        calls_ = generateCalls(device_.seed, device_.sizes);
        if (device_.hostile) makeHostile(*calls_);
        if (device_.tricky) makeTricky(*calls_);
        nextCallId_ = static_cast<int64_t>(calls_->size()) + 1;
    }
    return *calls_;
}

std::vector<Event>& CompanionState::events() {
    if (!events_) {
        events_ = generateEvents(device_.seed, device_.sizes);
        if (device_.hostile) makeHostile(*events_);
        if (device_.tricky) makeTricky(*events_);
        nextEventId_ = static_cast<int64_t>(events_->size()) + 1;
    }
    return *events_;
}

std::vector<Contact>& CompanionState::contacts() {
    if (!contacts_) {
        contacts_ = generateContacts(device_.seed, device_.sizes);
        if (device_.hostile) makeHostile(*contacts_);
        if (device_.tricky) makeTricky(*contacts_);
        nextContactId_ = static_cast<int64_t>(contacts_->size()) + 1;
    }
    return *contacts_;
}

MediaCatalogue& CompanionState::media(MediaKind kind) {
    auto& slot = media_[kindIndex(kind)];
    if (!slot) {
        slot = generateMedia(kind, device_.seed, device_.sizes, device_.files);
        if (device_.hostile) makeHostile(kind, *slot, device_.files);
        if (device_.tricky) makeTricky(kind, *slot, device_.files);
    }
    return *slot;
}

std::vector<App>& CompanionState::apps() {
    if (!apps_) rebuildApps();
    return *apps_;
}

// The list is what the package manager reports now: the system apps plus every installed
// package. The generated apps are installed on the phone the first time, with package files
// where the package manager keeps them.
void CompanionState::rebuildApps() {
    if (!apps_) {
        std::vector<App> generated = generateUserApps(device_.seed, device_.sizes);
        if (device_.hostile) makeHostile(generated);
        for (App& a : generated) {
            device_.addPackage(a.package);
            const std::string apk = "/data/app/" + a.package + "-1.apk";
            if (!device_.files.stat(apk)) {
                device_.files.write(apk, makePackageZip(a.package),
                                    static_cast<uint32_t>(a.installTime / 1000));
            }
            userApps_.emplace(a.package, std::move(a));
        }
    }
    std::vector<App> list = systemApps(device_.seed);
    std::vector<App> user;
    for (const std::string& package : device_.packages()) {
        if (auto it = userApps_.find(package); it != userApps_.end()) {
            user.push_back(it->second);
            continue;
        }
        App a;
        a.package = package;
        a.className = package + ".MainActivity";
        const auto parts = split(package, '.');
        std::string label(parts.back());
        if ((label == "app" || label == "android") && parts.size() > 1)
            label = std::string(parts[parts.size() - 2]);
        if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
            label[0] = static_cast<char>(label[0] - 'a' + 'A');
        a.label = label;
        a.version = "1.0";
        const auto stat = device_.files.stat("/data/app/" + package + "-1.apk");
        a.codeSize = stat ? stat->size : 0;
        a.installTime = (stat && stat->mtime ? static_cast<int64_t>(stat->mtime) : nowSeconds()) * 1000;
        a.updateTime = a.installTime;
        a.permissions = "INTERNET";
        user.push_back(std::move(a));
    }
    std::stable_sort(user.begin(), user.end(), [](const App& a, const App& b) { return a.label < b.label; });
    list.insert(list.end(), user.begin(), user.end());
    apps_ = std::move(list);
}

int64_t CompanionState::contactIdOf(const std::string& number) {
    for (const Contact& c : contacts())
        for (int f : {4, 5, 6})
            if (c.fields[f] && *c.fields[f] == number) return c.id;
    return 0;
}

std::optional<std::string> CompanionState::contactNameOf(const std::string& number) {
    for (const Contact& c : contacts())
        for (int f : {4, 5, 6})
            if (c.fields[f] && *c.fields[f] == number) return c.displayName();
    return std::nullopt;
}

// ---- link and device ------------------------------------------------------------------------

std::string CompanionState::hello(const Request&) { return "HI-PC"; }

std::string CompanionState::notice(const Request&) { return done(); }

std::string CompanionState::deviceInfo(const Request&) {
    auto prop = [this](const char* name, const char* fallback) {
        std::string v = device_.property(name);
        return v.empty() ? std::string(fallback) : v;
    };
    // Sizes in bytes, fixed per seed like the rest of the phone.
    const uint32_t seed = device_.seed;
    const uint64_t gib = 1024ull * 1024 * 1024;
    const uint64_t memTotal = (1 + seed % 4) * gib, phoneTotal = (8ull << (seed % 3)) * gib;
    const uint64_t sdTotal = (16ull << (seed % 3)) * gib;
    std::string out;
    RecordWriter w(out);
    w.text("BRAND", prop("ro.product.manufacturer", "Generic"));
    w.text("MODEL", prop("ro.product.model", "Phone"));
    w.text("ANDROIDVERSION", prop("ro.build.version.release", "4.4.2"));
    w.text("SERIAL", device_.serial);
    w.raw("MEMTOTAL", std::to_string(memTotal));
    w.raw("MEMAVAIL", std::to_string(memTotal / 100 * (30 + seed % 40)));
    w.raw("PHONETOTAL", std::to_string(phoneTotal));
    w.raw("PHONEAVAIL", std::to_string(phoneTotal / 100 * (20 + seed % 60)));
    w.raw("SDTOTAL", std::to_string(sdTotal));
    w.raw("SDAVAIL", std::to_string(sdTotal / 100 * (10 + seed % 80)));
    w.end();
    return out;
}

std::string CompanionState::storagePath(const Request&) { return kStorageRoot; }

// ---- messages -------------------------------------------------------------------------------

std::string CompanionState::smsCount(const Request&) {
    return status(static_cast<int32_t>(messages().size()));
}

std::string CompanionState::smsPage(const Request& r) {
    return page(messages(), r, true, [](RecordWriter& w, const Message& m) {
        w.number("ID", m.id);
        w.number("THREAD_ID", m.threadId);
        w.text("ADDRESS", m.address);
        if (m.person != 0) w.number("PERSON", m.person);
        w.text("DATE", m.date);
        if (m.type == 1) w.text("PROTOCOL", "0");
        w.number("READ", m.read);
        w.text("STATUS", "-1");
        w.number("TYPE", m.type);
        w.text("BODY", m.body);
    });
}

std::string CompanionState::smsClear(const Request&) {
    messages().clear();
    return done();
}

std::string CompanionState::smsSend(const Request& r) {
    const auto items = hexItems(r.args, 6);
    if (!items) return refused();
    const std::vector<std::string>& v = *items;
    const std::string &addressList = v[0], &body = v[1], &dateText = v[2], &readText = v[3];
    const std::string &threadText = v[4], &typeText = v[5];
    std::vector<std::string> recipients;
    for (std::string_view a : split(addressList, ','))
        for (std::string_view b : split(a, ';'))
            if (std::string t = trim(b); !t.empty()) recipients.push_back(std::move(t));
    const auto read = readText.empty() ? std::optional<int64_t>(1) : parseDecimal(readText);
    const auto type = typeText.empty() ? std::optional<int64_t>(2) : parseDecimal(typeText);
    const auto thread = threadText.empty() ? std::optional<int64_t>(-1) : parseDecimal(threadText);
    if (recipients.empty() || !read || !type || !thread) return refused();
    const std::string date = dateText.empty() ? nowDateText() : dateText;

    auto& list = messages();
    for (const std::string& to : recipients) {
        Message m;
        m.id = nextMessageId_++;
        m.address = to;
        m.person = contactIdOf(to);
        m.body = body;
        m.date = date;
        m.type = static_cast<int>(*type);
        m.read = static_cast<int>(*read);
        int64_t threadId = 0, maxThread = 0;
        for (const Message& other : list) {
            maxThread = std::max(maxThread, other.threadId);
            if (*thread > 0 && other.threadId == *thread) threadId = *thread;
            if (*thread <= 0 && other.address == to) threadId = other.threadId;
        }
        m.threadId = threadId != 0 ? threadId : maxThread + 1;
        // Kept in date order; a message dated now lands at the end, cheaply.
        const auto at = std::upper_bound(list.begin(), list.end(), m.date,
                                         [](const std::string& d, const Message& x) { return d < x.date; });
        list.insert(at, std::move(m));
    }
    return done();
}

std::string CompanionState::defaultSet(const Request&) {
    if (defaultMessaging_ != kCompanionPackage) {
        previousDefault_ = defaultMessaging_;
        defaultMessaging_ = kCompanionPackage;
    }
    return done();
}

std::string CompanionState::defaultReset(const Request&) {
    defaultMessaging_ = previousDefault_;
    return done();
}

std::string CompanionState::defaultName(const Request&) { return defaultMessaging_; }

// ---- call log -------------------------------------------------------------------------------

std::string CompanionState::callCount(const Request&) { return status(static_cast<int32_t>(calls().size())); }

std::string CompanionState::callPage(const Request& r) {
    // A hostile phone pads each page with empty records: two million of them, 2 MB.
    const std::string padding = device_.hostile ? std::string(2000000, '.') : std::string();
    return padding + page(calls(), r, true, [](RecordWriter& w, const Call& c) {
               w.number("ID", c.id);
               if (c.name) w.text("NAME", *c.name);
               w.text("NUMBER", c.number);
               w.number("TYPE", c.type);
               w.text("DURATION", c.duration);
               w.text("DATE", c.date);
           });
}

std::string CompanionState::callClear(const Request&) {
    calls().clear();
    return done();
}

std::string CompanionState::callAdd(const Request& r) {
    const auto items = hexItems(r.args, 4);
    if (!items) return refused();
    const auto type = (*items)[2].empty() ? std::optional<int64_t>(1) : parseDecimal((*items)[2]);
    if (!type || *type < 1 || *type > 3) return refused();
    Call c;
    c.number = (*items)[0];
    c.date = (*items)[1].empty() ? nowDateText() : (*items)[1];
    c.type = static_cast<int>(*type);
    c.duration = (*items)[3].empty() ? "0" : (*items)[3];
    c.name = contactNameOf(c.number);
    auto& list = calls();
    c.id = nextCallId_++;
    const auto at = std::upper_bound(list.begin(), list.end(), c.date,
                                     [](const std::string& d, const Call& x) { return d < x.date; });
    list.insert(at, std::move(c));
    return done();
}

// ---- calendar -------------------------------------------------------------------------------

std::string CompanionState::eventCount(const Request&) {
    // A hostile phone announces far more events than it holds.
    if (device_.hostile) return status(std::numeric_limits<int32_t>::max() - 2);
    return status(static_cast<int32_t>(events().size()));
}

std::string CompanionState::eventPage(const Request& r) {
    return page(events(), r, false, [](RecordWriter& w, const Event& e) {
        w.number("ID", e.id);
        w.number("CALENDARID", e.calendarId);
        w.text("TITLE", e.title);
        w.text("START", e.start);
        w.text("END", e.end);
        w.text("EVENTLOC", e.location);
        w.text("EVENTTZ", e.timeZone);
        w.text("DESCRIPTION", e.description);
        w.text("HASALARM", e.hasAlarm);
        w.text("MINUTES", e.minutes);
        if (!e.rrule.empty()) w.text("RRULE", e.rrule);
    });
}

std::string CompanionState::eventClear(const Request&) {
    events().clear();
    return done();
}

std::string CompanionState::eventAdd(const Request& r) {
    const auto items = hexItems(r.args, 9);
    if (!items) return refused();
    const auto& v = *items;
    Event e;
    e.title = v[0];
    e.start = v[1];
    e.end = v[2];
    e.location = v[3];
    e.timeZone = v[4];
    e.description = v[5];
    e.hasAlarm = v[6];
    e.minutes = v[7];
    e.rrule = trim(v[8]);
    auto& list = events();
    e.id = nextEventId_++;
    // Ordered by start where the start is a number; anything else goes last.
    const auto key = [](const Event& x) { return parseDecimal(x.start).value_or(INT64_MAX); };
    const int64_t k = key(e);
    const auto at = std::upper_bound(list.begin(), list.end(), k,
                                     [&](int64_t value, const Event& x) { return value < key(x); });
    list.insert(at, std::move(e));
    return done();
}

// ---- contacts -------------------------------------------------------------------------------

std::string CompanionState::contactCount(const Request&) {
    return status(static_cast<int32_t>(contacts().size()));
}

std::string CompanionState::contactPage(const Request& r) {
    return page(contacts(), r, false, [](RecordWriter& w, const Contact& c) {
        w.number("CONTACTID", c.id);
        w.text("NAME", c.displayName());
        for (int f = 3; f <= 20; ++f)
            if (kContactKeys[f][0] != '\0' && c.fields[f]) w.text(kContactKeys[f], *c.fields[f]);
    });
}

std::string CompanionState::contactAdd(const Request& r) {
    const auto parts = split(r.args, ':');
    if (parts.size() != 2) return leInt64(0);
    const auto name = hexDecode(parts[0]), phone = hexDecode(parts[1]);
    if (!name || !phone || (name->empty() && phone->empty())) return leInt64(0);
    auto& list = contacts();
    Contact c;
    c.id = nextContactId_++;
    c.fields[0] = std::to_string(c.id);
    if (!name->empty()) c.fields[1] = *name;
    if (!phone->empty()) c.fields[4] = *phone;
    list.push_back(std::move(c));
    return leInt64(list.back().id);
}

std::string CompanionState::contactAddAll(const Request& r) {
    // Name, fields 3 to 20, then the blank that closes every such command.
    const auto items = hexItems(r.args, 20);
    if (!items) return leInt64(0);
    Contact c;
    bool any = false;
    if (!(*items)[0].empty()) {
        c.fields[1] = (*items)[0];
        any = true;
    }
    for (int f = 3; f <= 20; ++f) {
        const std::string& v = (*items)[static_cast<size_t>(f - 2)];
        if (f == 14 || f == 15 || v.empty()) continue;
        c.fields[f] = v;
        any = true;
    }
    if (!any) return leInt64(0);
    auto& list = contacts();
    c.id = nextContactId_++;
    c.fields[0] = std::to_string(c.id);
    list.push_back(std::move(c));
    return leInt64(list.back().id);
}

std::string CompanionState::contactUpdate(const Request& r) {
    // "<id>:<value hex>:<KEYWORD>"; the id is the host's text, so split from the right.
    const size_t k = r.args.rfind(':');
    if (k == std::string::npos || k == 0) return refused();
    const size_t v = r.args.rfind(':', k - 1);
    if (v == std::string::npos) return refused();
    const std::string_view args(r.args);
    const auto id = parseDecimal(args.substr(0, v));
    const auto value = hexDecode(args.substr(v + 1, k - v - 1));
    const std::string_view keyword = args.substr(k + 1);
    int field = 0;
    for (int f = 1; f <= 20; ++f)
        if (kUpdateKeywords[f][0] != '\0' && keyword == kUpdateKeywords[f]) field = f;
    if (!id || !value || field == 0) return refused();
    for (Contact& c : contacts()) {
        if (c.id != *id) continue;
        if (value->empty())
            c.fields[field].reset();
        else
            c.fields[field] = *value;
        return done();
    }
    return refused();
}

std::string CompanionState::contactClear(const Request&) {
    contacts().clear();
    return done();
}

// ---- applications ---------------------------------------------------------------------------

std::string CompanionState::appFlush(const Request&) {
    rebuildApps();
    return status(static_cast<int32_t>(apps_->size()));
}

std::string CompanionState::appCount(const Request&) { return status(static_cast<int32_t>(apps().size())); }

std::string CompanionState::appInfo(const Request& r) {
    const auto index = offsetArg(r);
    auto& list = apps();
    if (!index || *index >= static_cast<int64_t>(list.size())) return {};
    const App& a = list[static_cast<size_t>(*index)];
    auto n = [](int64_t v) { return std::to_string(v); };
    return fitRecord({{"PKG", a.package, false, true},
                      {"CLS", a.className, false, true},
                      {"APPNAME", a.label, false, true},
                      {"VERSION", a.version, false, true},
                      {"VERSIONCODE", n(a.versionCode)},
                      {"SYSTEMAPP", n(a.system ? 1 : 0)},
                      {"SDCARDAPP", n(a.onSdCard ? 1 : 0)},
                      {"CACHSEZE", n(a.cacheSize)},
                      {"DATASIZE", n(a.dataSize)},
                      {"CODESIZE", n(a.codeSize)},
                      {"TOTALSIZE", n(a.cacheSize + a.dataSize + a.codeSize)},
                      {"INSTALLTIME", n(a.installTime)},
                      {"LASTUPDATETIME", n(a.updateTime)},
                      {"PERMISSIONS", a.permissions, false, true}},
                     kDetailLimit);
}

// ---- media ----------------------------------------------------------------------------------

// A refresh drops items whose file went away (deleted through adb, say) and takes the current
// sizes, as a media scan would.
template <MediaKind K>
std::string CompanionState::mediaFlush(const Request&) {
    auto& cat = media(K);
    std::vector<MediaItem> kept;
    for (MediaItem& item : cat.items) {
        const auto st = device_.files.stat(item.path);
        if (!st) continue;
        item.size = st->size;
        kept.push_back(std::move(item));
    }
    cat.items = std::move(kept);
    return status(static_cast<int32_t>(cat.items.size()));
}

template <MediaKind K>
std::string CompanionState::mediaCount(const Request&) {
    return status(static_cast<int32_t>(media(K).items.size()));
}

template <MediaKind K>
std::string CompanionState::mediaInfo(const Request& r) {
    const auto index = offsetArg(r);
    const auto& items = media(K).items;
    if (!index || *index >= static_cast<int64_t>(items.size())) return {};
    const MediaItem& m = items[static_cast<size_t>(*index)];
    auto n = [](int64_t v) { return std::to_string(v); };
    std::vector<Field> f;
    f.push_back({"ID", n(m.id)});
    if (K == MediaKind::Music) f.push_back({"ALBUMID", n(m.albumId)});
    f.push_back({"TILTE", m.title, false, true});
    if (K == MediaKind::Music) {
        f.push_back({"ALBUM", m.album, false, true});
        f.push_back({"ARTIST", m.artist, false, true});
    }
    if (K == MediaKind::Video) f.push_back({"DISPLAYNAME", m.displayName, false, true});
    f.push_back({"PATH", storagePathOf(m.path), false, true});
    if (K != MediaKind::Photo) f.push_back({"DURATION", n(m.durationMs)});
    f.push_back({"SIZE", n(m.size)});
    f.push_back({"MODIFTIME", n(m.modified)});
    f.push_back({"CREATETIME", n(m.created)});
    return fitRecord(std::move(f), kDetailLimit);
}

template <MediaKind K>
std::string CompanionState::mediaThumb(const Request& r) {
    const auto& cat = media(K);
    if constexpr (K == MediaKind::Music) {
        const auto parts = split(r.args, ':');
        if (parts.size() != 2) return refused();
        const auto track = parseDecimal(parts[0]), album = parseDecimal(parts[1]);
        if (!track || !album) return refused();
        for (const MediaItem& item : cat.items)
            if (item.albumId == *album) return coverThumbnail(item);
        if (const MediaItem* item = cat.byId(*track)) return coverThumbnail(*item);
        return refused();
    } else {
        const auto id = parseDecimal(r.args);
        const MediaItem* item = id ? cat.byId(*id) : nullptr;
        return item ? photoThumbnail(*item) : refused();
    }
}

template <MediaKind K>
std::string CompanionState::mediaDelete(const Request& r) {
    const auto id = parseDecimal(r.args);
    auto& items = media(K).items;
    const auto it =
        std::find_if(items.begin(), items.end(), [&](const MediaItem& m) { return id && m.id == *id; });
    if (it == items.end()) return refused();
    device_.files.remove(it->path);
    items.erase(it);
    return done();
}

template <MediaKind K>
std::string CompanionState::mediaClear(const Request&) {
    auto& items = media(K).items;
    for (const MediaItem& m : items) device_.files.remove(m.path);
    items.clear();
    return done();
}

template <MediaKind K>
std::string CompanionState::mediaPath(const Request& r) {
    const auto id = parseDecimal(r.args);
    const MediaItem* item = id ? media(K).byId(*id) : nullptr;
    return item ? storagePathOf(item->path) : std::string();
}

template <MediaKind K>
std::string CompanionState::mediaRead(const Request& r) {
    const auto parts = split(r.args, ':');
    if (parts.size() != 3) return refused();
    const auto id = parseDecimal(parts[0]), offset = parseDecimal(parts[1]), count = parseDecimal(parts[2]);
    if (!id || !offset || !count || *offset < 0 || *count <= 0) return refused();
    const MediaItem* item = media(K).byId(*id);
    if (!item) return refused();
    const auto size = device_.files.size(item->path);
    if (!size) return refused();
    if (*offset >= static_cast<int64_t>(*size)) return status(0);
    const auto bytes =
        device_.files.readRange(item->path, static_cast<uint64_t>(*offset), static_cast<uint64_t>(*count));
    return bytes ? *bytes : refused();
}

template <MediaKind K>
std::string CompanionState::mediaExists(const Request& r) {
    if (!validName(r.args)) return refused();
    return status(device_.files.stat(kUploadFolders[kindIndex(K)] + r.args) ? 1 : 0);
}

template <MediaKind K>
std::string CompanionState::mediaOpen(const Request& r) {
    const auto name = hexDecode(r.args);
    if (!name || !validName(*name)) return refused();
    Session& s = sessions_[kindIndex(K)];
    s.open = true;
    s.path = kUploadFolders[kindIndex(K)] + *name;
    device_.files.write(s.path, std::string(), static_cast<uint32_t>(nowSeconds()));
    return done();
}

template <MediaKind K>
std::string CompanionState::mediaWrite(const Request& r) {
    Session& s = sessions_[kindIndex(K)];
    if (!s.open || r.payload.empty()) return {};
    device_.files.append(s.path, r.payload);
    return status(static_cast<int32_t>(r.payload.size()));
}

template <MediaKind K>
std::string CompanionState::mediaClose(const Request&) {
    Session& s = sessions_[kindIndex(K)];
    if (!s.open) return refused();
    s.open = false;
    return done();
}

template <MediaKind K>
std::string CompanionState::mediaDone(const Request& r) {
    const auto name = hexDecode(r.args);
    if (!name || !validName(*name)) return refused();
    const std::string path = kUploadFolders[kindIndex(K)] + *name;
    Session& s = sessions_[kindIndex(K)];
    if (s.open && s.path == path) s.open = false;
    const auto bytes = device_.files.read(path);
    if (!bytes) return refused();
    auto& cat = media(K);
    MediaItem item = describeNewFile(K, path, *bytes, nowSeconds());
    for (MediaItem& existing : cat.items) {
        if (existing.path == path) { // a file written again keeps its id
            item.id = existing.id;
            existing = std::move(item);
            return done();
        }
    }
    item.id = cat.nextId++;
    cat.items.push_back(std::move(item));
    return done();
}

template <MediaKind K>
std::string CompanionState::mediaAbandon(const Request& r) {
    const auto name = hexDecode(r.args);
    if (!name || !validName(*name)) return refused();
    const std::string path = kUploadFolders[kindIndex(K)] + *name;
    Session& s = sessions_[kindIndex(K)];
    if (s.open && s.path == path) s.open = false;
    device_.files.remove(path);
    auto& items = media(K).items;
    items.erase(
        std::remove_if(items.begin(), items.end(), [&](const MediaItem& m) { return m.path == path; }),
        items.end());
    return done();
}

// ---- session markers ------------------------------------------------------------------------

std::string CompanionState::markStart(const Request&) {
    markers_ = Markers{};
    markers_.active = true;
    return done();
}

std::string CompanionState::markUpdate(const Request& r) {
    // "<text>:<number>": the text is plain and may hold ':', the number is last.
    const size_t colon = r.args.rfind(':');
    if (colon == std::string::npos) return refused();
    const auto number = parseDecimal(std::string_view(r.args).substr(colon + 1));
    if (!number) return refused();
    markers_.lastText = r.args.substr(0, colon);
    markers_.lastNumber = *number;
    ++markers_.updates;
    return done();
}

std::string CompanionState::markEnd(const Request&) {
    markers_.active = false;
    return done();
}

} // namespace zsim::companion
