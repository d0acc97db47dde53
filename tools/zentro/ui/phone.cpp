#include "ui/phone.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unordered_map>

#include "adb_server.h"
#include "backup/backup.h"
#include "cli.h"
#include "formats/dates.h"
#include "formats/safe_text.h"
#include "media_items.h"
#include "records.h"
#include "ui/worker.h"
#include "zentrolink.h"

namespace zentro::ui {
namespace {

enum MessageField { kId, kPerson, kAddress, kBody, kDate, kType, kRead, kThread };

std::string trimmed(const char* text, size_t size) {
    std::string s(text, strnlen(text, size));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool contains(const std::string& text, const std::string& lowered) {
    if (lowered.empty()) return true;
    auto it = std::search(text.begin(), text.end(), lowered.begin(), lowered.end(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
    return it != text.end();
}

// The trailing digits by which two spellings of one number meet (+44 7700 and 07700).
std::string numberKey(const std::string& number) {
    std::string digits;
    for (char c : number) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits.size() > 9 ? digits.substr(digits.size() - 9) : digits;
}

const std::string& cell(const cli::Row& row, size_t field) {
    static const std::string none;
    return field < row.size() && row[field] ? *row[field] : none;
}

json rowJson(const cli::RecordKind& kind, const cli::Row& row) {
    json out = json::object();
    for (size_t i = 0; i < kind.fields.size() && i < row.size(); ++i) {
        if (kind.fields[i].rfind("reserved", 0) != 0)
            out[kind.fields[i]] = row[i] ? json(*row[i]) : json(nullptr);
    }
    return out;
}

template <class Items, class ToJson>
json page(const Items& items, Slice slice, ToJson toJson) {
    json out = {{"total", items.size()}, {"offset", slice.offset}, {"items", json::array()}};
    for (size_t i = slice.offset; i < items.size() && i < slice.offset + slice.limit; ++i)
        out["items"].push_back(toJson(items[i]));
    return out;
}

// A reading's progress as "progress" events, and the page's Cancel as its stop.
class PageRead : public cli::ReadProgress {
public:
    PageRead(EventHub& hub, const std::atomic<bool>& cancelled)
        : hub_(hub)
        , cancelled_(cancelled) {}
    void begin(const std::string& noun) override {
        watch_.emplace(hub_, "read", noun, [this] {
            std::lock_guard lock(mutex_);
            return poll_ ? poll_() : std::pair<int64_t, int64_t>(done_, total_);
        });
    }
    void update(int64_t done, int64_t total) override {
        std::lock_guard lock(mutex_);
        done_ = done;
        total_ = total;
    }
    void finish(const char*) override { watch_.reset(); }
    // The call runs here, on the worker; Cancel reaches the library through PhoneData::cancel.
    cli::WatchedWork watch(const std::function<int64_t()>& work, const Poll& poll,
                           const std::function<void()>&) override {
        {
            std::lock_guard lock(mutex_);
            poll_ = poll;
        }
        cli::WatchedWork outcome;
        outcome.result = work();
        outcome.aborted = cancelled_;
        std::lock_guard lock(mutex_);
        poll_ = nullptr;
        return outcome;
    }
    bool stopped() override { return cancelled_; }

private:
    EventHub& hub_;
    const std::atomic<bool>& cancelled_;
    std::mutex mutex_;
    Poll poll_;
    int64_t done_ = 0, total_ = 0;
    std::optional<ProgressWatch> watch_;
};

struct UploadCalls {
    int32_t (*upload)(const char*, const char*, int32_t); // always in chunks: progress and abort
};
const UploadCalls kUploads[] = {{Zentro_addPhoto2}, {Zentro_AddMusicToDevice2}, {Zentro_AddVideoToDevice2}};

int64_t nowMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

PhoneData::PhoneData(EventHub& hub, std::string privateFolder)
    : hub_(hub)
    , folder_(std::move(privateFolder)) {}

json PhoneData::phoneList() {
    const cli::AdbServerView server = cli::queryAdbServer();
    json out = {{"adb", server.running}, {"phones", json::array()}};
    std::lock_guard lock(detailsMutex_);
    for (size_t i = 0; i < server.devices.size() && i < 10; ++i) {
        const cli::AdbDevice& device = server.devices[i];
        json phone = {
            {"index", i}, {"serial", device.serial}, {"state", device.state}, {"connection", "usb"}};
        auto it = details_.find(device.serial);
        if (it != details_.end()) phone.update(it->second);
        out["phones"].push_back(phone);
    }
    for (const auto& [serial, details] : details_) {
        if (details.value("connection", "") == "wifi") out["phones"].push_back(details);
    }
    return out;
}

void PhoneData::detectPhones() {
    const cli::AdbServerView server = cli::queryAdbServer();
    // Detecting an index adb does not list makes the library restart the adb server under
    // every other adb user: only usable listed phones are asked about.
    for (size_t i = 0; i < server.devices.size() && i < 10; ++i) {
        const cli::AdbDevice& device = server.devices[i];
        {
            std::lock_guard lock(detailsMutex_);
            if (device.state != "device" || details_.count(device.serial) != 0) continue;
        }
        if (Zentro_CheckDeviceDetected(static_cast<int32_t>(i)) != 0) continue;
        DeviceInfoRecord info{};
        Zentro_GetAndroidDevicesInfo(&info, static_cast<int32_t>(i));
        const std::string serial = trimmed(info.serial, sizeof info.serial);
        detected_[static_cast<int>(i)] = serial;
        std::lock_guard lock(detailsMutex_);
        details_[serial] = {{"maker", trimmed(info.brand, sizeof info.brand)},
                            {"model", trimmed(info.model, sizeof info.model)},
                            {"android", trimmed(info.androidVersion, sizeof info.androidVersion)},
                            {"prepared", Zentro_CheckDevicesIsConnect(static_cast<int32_t>(i)) == 0}};
    }
    // A phone that left forgets what was known of it: plugged in again, it starts unprepared.
    {
        std::lock_guard lock(detailsMutex_);
        for (auto it = details_.begin(); it != details_.end();) {
            const bool listed = std::any_of(server.devices.begin(), server.devices.end(),
                                            [&](const cli::AdbDevice& d) { return d.serial == it->first; });
            if (!listed && it->second.value("connection", "") != "wifi") {
                prepared_.erase(it->first);
                it = details_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Phones that joined over WiFi have a row of the library's table but no adb entry; rows of
    // phones adb listed before are what the table keeps of phones that left.
    for (const cli::AdbDevice& device : server.devices) everListed_.insert(device.serial);
    for (int i = 0; i < 10; ++i) {
        DeviceInfoRecord info{};
        Zentro_GetAndroidDevicesInfo(&info, i);
        const std::string serial = trimmed(info.serial, sizeof info.serial);
        if (serial.empty()) break;
        const bool listed = std::any_of(server.devices.begin(), server.devices.end(),
                                        [&](const cli::AdbDevice& d) { return d.serial == serial; });
        std::lock_guard lock(detailsMutex_);
        if (!listed && everListed_.count(serial) == 0 && details_.count(serial) == 0) {
            details_[serial] = {{"index", i},
                                {"serial", serial},
                                {"state", "device"},
                                {"connection", "wifi"},
                                {"maker", trimmed(info.brand, sizeof info.brand)},
                                {"model", trimmed(info.model, sizeof info.model)},
                                {"android", trimmed(info.androidVersion, sizeof info.androidVersion)},
                                {"prepared", true}};
        }
    }
    hub_.publish("phones", phoneList());
}

std::string PhoneData::ensure(int device, bool prepared) {
    if (device < 0 || device > 9) throw ApiError(404, "no phone at that index");
    const cli::AdbServerView server = cli::queryAdbServer();
    std::string serial;
    if (static_cast<size_t>(device) < server.devices.size()) {
        if (server.devices[device].state != "device")
            throw ApiError(409, "the phone is " + server.devices[device].state +
                                    ": unlock it and allow USB debugging for this computer");
        serial = server.devices[device].serial;
        if (detected_[device] != serial) {
            if (Zentro_CheckDeviceDetected(device) != 0) throw ApiError(409, "the phone is not usable");
            detected_[device] = serial;
        }
    } else {
        std::lock_guard lock(detailsMutex_);
        for (const auto& [wifiSerial, details] : details_) {
            if (details.value("connection", "") == "wifi" && details.value("index", -1) == device)
                serial = wifiSerial;
        }
        if (serial.empty()) throw ApiError(404, "no phone at index " + std::to_string(device));
    }
    if (prepared && !prepared_[serial]) {
        if (device > 1 || Zentro_CheckDevicesIsConnect(device) != 0)
            throw ApiError(409, "the phone is not prepared: press Prepare on the Phones page");
        prepared_[serial] = true;
    }
    return serial;
}

PhoneData::Cache& PhoneData::cacheOf(int device, bool prepared) { return caches_[ensure(device, prepared)]; }

void PhoneData::prepare(int device) {
    const std::string serial = ensure(device, false);
    int32_t result = -1;
    {
        ProgressWatch watch(hub_, "prepare", serial,
                            [] { return std::pair<int64_t, int64_t>(Zentro_GetReadyTodoProgress(), 100); });
        result = Zentro_ReadyTodoing(device);
    }
    prepared_[serial] = result == 0;
    {
        std::lock_guard lock(detailsMutex_);
        details_[serial]["prepared"] = result == 0;
    }
    hub_.publish("phones", phoneList());
    if (result != 0) throw ApiError(502, "the phone could not be prepared: check its screen and try again");
}

std::string PhoneData::pairingImage() {
    const std::string path = folder_ + "/pairing.bmp";
    std::remove(path.c_str());
    if (Zentro_GetPCQRGeneratorImage(path.c_str(), 0) != 0 || cli::fileSize(path) <= 0)
        throw ApiError(503, "the pairing server could not start on this computer's network address");
    return path;
}

std::vector<cli::Row> PhoneData::readRecords(const cli::RecordKind& kind, int device) {
    cancelled_ = false;
    PageRead progress(hub_, cancelled_);
    cli::RecordSet set = cli::readRecords(kind, device, progress);
    Zentro_ResetFlushAllDBStatus(); // a cancel must not cut the next reading
    // Cut short by Cancel, the list would look like the phone's whole list: not kept.
    if (cancelled_) throw ApiError(409, std::string("reading the ") + kind.noun + " was cancelled");
    return std::move(set.rows);
}

void PhoneData::loadContacts(int device, Cache& cache) {
    if (cache.hasContacts) return;
    cache.contacts = readRecords(cli::contactKind(), device);
    cache.hasContacts = true;
}

void PhoneData::group(Cache& cache) {
    std::unordered_map<std::string, std::string> names;
    for (const cli::Row& contact : cache.contacts) {
        std::string name = cell(contact, 1);
        if (!cell(contact, 2).empty()) name += (name.empty() ? "" : " ") + cell(contact, 2);
        for (size_t field : {4, 5, 6}) {
            if (!cell(contact, field).empty()) names.emplace(numberKey(cell(contact, field)), name);
        }
    }
    cache.conversations.clear();
    std::unordered_map<std::string, size_t> byAddress;
    for (uint32_t i = 0; i < cache.messages.size(); ++i) {
        const std::string& address = cell(cache.messages[i], kAddress);
        auto [it, added] = byAddress.emplace(address, cache.conversations.size());
        if (added) {
            auto name = names.find(numberKey(address));
            cache.conversations.push_back({address, name != names.end() ? name->second : "", {}});
        }
        cache.conversations[it->second].messages.push_back(i);
    }
}

void PhoneData::loadMessages(int device, Cache& cache) {
    if (cache.hasMessages) return;
    loadContacts(device, cache);
    cache.messages = readRecords(cli::messageKind(), device); // newest first
    cache.hasMessages = true;
    group(cache);
}

json PhoneData::conversations(int device, const std::string& query, Slice slice) {
    Cache& cache = cacheOf(device);
    loadMessages(device, cache);
    const std::string q = lower(query);
    std::vector<const Cache::Conversation*> found;
    for (const auto& conversation : cache.conversations) {
        bool match = contains(conversation.address, q) || contains(conversation.name, q);
        for (size_t i = 0; !match && i < conversation.messages.size(); ++i)
            match = contains(cell(cache.messages[conversation.messages[i]], kBody), q);
        if (match) found.push_back(&conversation);
    }
    return page(found, slice, [&cache](const Cache::Conversation* c) {
        const cli::Row& latest = cache.messages[c->messages.front()];
        return json{{"address", c->address},
                    {"name", c->name},
                    {"count", c->messages.size()},
                    {"date", cell(latest, kDate)},
                    {"body", cell(latest, kBody).substr(0, 200)}};
    });
}

json PhoneData::messages(int device, const std::string& address, const std::string& query, Slice slice) {
    Cache& cache = cacheOf(device);
    loadMessages(device, cache);
    const std::string q = lower(query);
    std::vector<uint32_t> found;
    for (const auto& conversation : cache.conversations) {
        if (conversation.address != address) continue;
        for (uint32_t i : conversation.messages) {
            if (contains(cell(cache.messages[i], kBody), q)) found.push_back(i);
        }
    }
    return page(found, slice,
                [&cache](uint32_t i) { return rowJson(cli::messageKind(), cache.messages[i]); });
}

json PhoneData::sendMessage(int device, const std::string& address, const std::string& body) {
    if (address.empty() || body.empty()) throw ApiError(400, "a number and a text are needed");
    Cache& cache = cacheOf(device);
    std::string addressText = address, bodyText = body, date = cli::phoneDateText(nowMillis()), read = "1",
                type = "2";
    SmsRecord record{};
    record.address = addressText.data();
    record.body = bodyText.data();
    record.date = date.data();
    record.read = read.data();
    record.type = type.data();
    if (Zentro_SendSMS(&record, device) <= 0) throw ApiError(502, "the phone did not send the message");
    if (cache.hasMessages) {
        cli::Row row(cli::messageKind().fields.size());
        row[kAddress] = address;
        row[kBody] = body;
        row[kDate] = date;
        row[kType] = type;
        row[kRead] = read;
        cache.messages.insert(cache.messages.begin(), std::move(row));
        group(cache);
    }
    return {{"sent", true}, {"date", date}};
}

json PhoneData::calls(int device, Slice slice) {
    Cache& cache = cacheOf(device);
    if (!cache.hasCalls) {
        cache.calls = readRecords(cli::callKind(), device); // newest first
        cache.hasCalls = true;
    }
    return page(cache.calls, slice, [](const cli::Row& row) { return rowJson(cli::callKind(), row); });
}

json PhoneData::contacts(int device, const std::string& query, Slice slice) {
    Cache& cache = cacheOf(device);
    loadContacts(device, cache);
    const std::string q = lower(query);
    std::vector<const cli::Row*> found;
    for (const cli::Row& row : cache.contacts) {
        bool match = false;
        for (const cli::Cell& value : row) match = match || (value && contains(*value, q));
        if (match) found.push_back(&row);
    }
    return page(found, slice, [](const cli::Row* row) { return rowJson(cli::contactKind(), *row); });
}

json PhoneData::addContact(int device, const std::string& name, const std::string& number) {
    if (name.empty() || number.empty()) throw ApiError(400, "a name and a number are needed");
    Cache& cache = cacheOf(device);
    const int64_t id = Zentro_AddPerson(name.c_str(), number.c_str(), device);
    if (id <= 0) throw ApiError(502, "the phone did not add the contact");
    if (cache.hasContacts) {
        cli::Row row(cli::contactKind().fields.size());
        row[0] = std::to_string(id);
        row[1] = name;
        row[4] = number;
        cache.contacts.insert(cache.contacts.begin(), std::move(row));
    }
    if (cache.hasMessages) group(cache);
    return {{"id", std::to_string(id)}};
}

json PhoneData::editContact(int device, const std::string& id, const std::string& field,
                            const std::string& value) {
    const auto& fields = cli::contactKind().fields;
    auto it = std::find(fields.begin(), fields.end(), field);
    if (it == fields.end() || it == fields.begin() || field.rfind("reserved", 0) == 0)
        throw ApiError(400, "unknown contact field");
    if (id.empty() || value.empty()) throw ApiError(400, "an id and a value are needed");
    Cache& cache = cacheOf(device);
    const auto kind = static_cast<int32_t>(it - fields.begin());
    if (Zentro_updatePerson(id.c_str(), kind, value.c_str(), device) < 0)
        throw ApiError(502, "the phone did not change the contact");
    for (cli::Row& row : cache.contacts) {
        if (cell(row, 0) == id) row[kind] = value;
    }
    if (cache.hasMessages) group(cache);
    return {{"id", id}, {"field", field}, {"value", value}};
}

json PhoneData::deleteAllContacts(int device) {
    Cache& cache = cacheOf(device);
    Zentro_ClearPerson(device);
    cache.contacts.clear();
    cache.hasContacts = false;
    return {{"deleted", true}};
}

json PhoneData::events(int device, const std::string& month) {
    Cache& cache = cacheOf(device);
    if (!cache.hasEvents) {
        cache.events = readRecords(cli::eventKind(), device);
        cache.hasEvents = true;
    }
    json out = json::array();
    std::string first, last; // the months the phone's events span, for an empty month's page
    for (const cli::Row& row : cache.events) {
        const cli::ParsedDate start = cli::parseDate(cell(row, 3));
        const std::string iso = start.millis ? cli::isoLocalDate(*start.millis) : std::string();
        json event = rowJson(cli::eventKind(), row);
        event["startIso"] = start.millis ? json(iso) : json(nullptr);
        if (!iso.empty()) {
            if (first.empty() || iso < first) first = iso;
            if (iso > last) last = iso;
        }
        // "YYYY-MM" of the local start; events without a readable start show in every month.
        if (month.empty() || !start.millis || iso.rfind(month, 0) == 0) out.push_back(event);
    }
    // Those without a start first: an order that treats them as equal to every date is none.
    const auto key = [](const json& e) {
        return e["startIso"].is_string() ? e["startIso"].get<std::string>() : "";
    };
    std::stable_sort(out.begin(), out.end(),
                     [&key](const json& a, const json& b) { return key(a) < key(b); });
    return {{"month", month}, {"items", out}, {"first", first.substr(0, 7)}, {"last", last.substr(0, 7)}};
}

json PhoneData::addEvent(int device, const json& event) {
    const std::string title = event.value("title", "");
    const cli::ParsedDate start = cli::parseDate(event.value("start", ""));
    const cli::ParsedDate end = cli::parseDate(event.value("end", ""));
    if (title.empty() || !start.millis || !end.millis || *end.millis <= *start.millis)
        throw ApiError(400, "a title and an end after the start are needed");
    Cache& cache = cacheOf(device);
    std::string titleText = title, startText = std::to_string(*start.millis),
                endText = std::to_string(*end.millis), location = event.value("location", "");
    CalenderRecord record{};
    record.title = titleText.data();
    record.start = startText.data();
    record.end = endText.data();
    record.location = location.data();
    if (Zentro_AddCalender(&record, device) < 0) throw ApiError(502, "the phone did not add the event");
    cache.hasEvents = false; // read again with the phone's id
    return {{"added", true}};
}

json PhoneData::apps(int device) {
    ensure(device, true);
    cancelled_ = false; // a Cancel of earlier work must not cut this list
    Zentro_FlushDevicesApp(device);
    const int32_t count = Zentro_GetAppCount(device);
    json out = json::array();
    for (int32_t i = 0; i < count && i < 100000 && !cancelled_; ++i) {
        AppInfoRecord info{};
        if (Zentro_GetAppInfo(&info, i, device) != 0) continue;
        out.push_back({{"package", trimmed(info.packageName, sizeof info.packageName)},
                       {"label", trimmed(info.label, sizeof info.label)},
                       {"version", trimmed(info.versionName, sizeof info.versionName)},
                       {"system", info.systemApp != 0},
                       {"size", info.totalSize}});
    }
    return out;
}

json PhoneData::installApp(int device, const std::string& file) {
    ensure(device, false);
    if (Zentro_InstallAppToMemory(file.c_str(), 2, device) != 0)
        throw ApiError(502, "adb could not be started to install the package");
    return {{"installed", true}};
}

json PhoneData::uninstallApp(int device, const std::string& package) {
    ensure(device, false);
    if (package.empty() ||
        package.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._") !=
            std::string::npos)
        throw ApiError(400, "not a package name");
    if (Zentro_UnInstallApp(package.c_str(), 1, device) != 0)
        throw ApiError(502, "the package could not be uninstalled");
    return {{"uninstalled", package}};
}

std::string PhoneData::exportApp(int device, const std::string& package) {
    ensure(device, false);
    const std::string file = newPrivateFile("apk");
    if (Zentro_ExportApp(package.c_str(), file.c_str(), device) != 0 || cli::fileSize(file) <= 0)
        throw ApiError(502, "the package could not be copied from the phone");
    return file;
}

const cli::MediaKind& PhoneData::kindOf(const std::string& family) {
    for (const cli::MediaKind& kind : cli::mediaKinds()) {
        if (family == kind.family) return kind;
    }
    throw ApiError(404, "no such media kind");
}

std::vector<cli::MediaItem>& PhoneData::mediaOf(int device, const std::string& family) {
    Cache& cache = cacheOf(device);
    auto it = cache.media.find(family);
    if (it == cache.media.end())
        it = cache.media.emplace(family, cli::listMedia(kindOf(family), device).items).first;
    return it->second;
}

json PhoneData::media(int device, const std::string& family) {
    json out = json::array();
    for (const cli::MediaItem& item : mediaOf(device, family)) {
        json row = item.fields;
        row["name"] = item.name;
        out.push_back(row);
    }
    return out;
}

std::string PhoneData::thumbnail(int device, const std::string& family, int32_t id, std::string& type) {
    const cli::MediaKind& kind = kindOf(family);
    ensure(device, true);
    if (kind.thumb == nullptr) throw ApiError(404, "this kind has no thumbnails");
    char* picture = nullptr;
    const int32_t size = kind.thumb(&picture, id, device);
    if (size <= 0 || picture == nullptr) throw ApiError(404, "the phone has no thumbnail for it");
    std::string bytes(picture, static_cast<size_t>(size));
    // Served only as the picture it claims to be, so nothing else can run as a page.
    if (bytes.rfind("\xFF\xD8\xFF", 0) == 0)
        type = "image/jpeg";
    else if (bytes.rfind("\x89PNG", 0) == 0)
        type = "image/png";
    else
        throw ApiError(415, "the thumbnail is not a JPEG or PNG picture");
    return bytes;
}

std::string PhoneData::newPrivateFile(const std::string& stem) {
    const std::string file = folder_ + "/" + stem + "-" + std::to_string(++fileCounter_);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw ApiError(500, "cannot make a file in the private folder");
    ::close(fd);
    return file;
}

std::string PhoneData::download(int device, const std::string& family, int32_t id, std::string& name) {
    const cli::MediaKind& kind = kindOf(family);
    const auto& items = mediaOf(device, family);
    auto item =
        std::find_if(items.begin(), items.end(), [id](const cli::MediaItem& i) { return i.id == id; });
    if (item == items.end()) throw ApiError(404, "no such item on the phone");
    const std::string file = newPrivateFile("download");
    cancelled_ = false;
    {
        ProgressWatch watch(hub_, "download", family,
                            [&kind] { return std::pair<int64_t, int64_t>(kind.progress(), 100); });
        kind.chunkedDownload(item->id, file.c_str(), item->size, device);
    }
    const int64_t got = cli::fileSize(file);
    if (cancelled_ || got != item->size) {
        std::remove(file.c_str());
        throw ApiError(cancelled_ ? 409 : 502, cancelled_ ? "the download was cancelled"
                                                          : "the phone sent " + std::to_string(got) + " of " +
                                                                std::to_string(item->size) + " bytes");
    }
    name = item->name;
    return file;
}

json PhoneData::upload(int device, const std::string& family, const std::string& file,
                       const std::string& name) {
    const cli::MediaKind& kind = kindOf(family);
    const size_t position = static_cast<size_t>(&kind - &cli::mediaKinds()[0]);
    const std::string deviceName = cli::safeFileName(name, "upload");
    ensure(device, true);
    cancelled_ = false;
    int32_t result = -1;
    {
        ProgressWatch watch(hub_, "upload", family,
                            [&kind] { return std::pair<int64_t, int64_t>(kind.progress(), 100); });
        result = kUploads[position].upload(file.c_str(), deviceName.c_str(), device);
    }
    if (cancelled_) throw ApiError(409, "the upload was cancelled");
    if (result != 0) throw ApiError(502, "the phone did not take the file");
    cacheOf(device).media.erase(family);
    return {{"uploaded", deviceName}, {"size", cli::fileSize(file)}};
}

json PhoneData::removeMedia(int device, const std::string& family, int32_t id) {
    const cli::MediaKind& kind = kindOf(family);
    ensure(device, true);
    kind.remove(id, device);
    cacheOf(device).media.erase(family);
    return {{"deleted", id}};
}

void PhoneData::forget(int device, const std::string& what) {
    Cache& cache = cacheOf(device, false);
    if (what == "messages") cache.hasMessages = false;
    if (what == "contacts") cache.hasContacts = cache.hasMessages = false;
    if (what == "calls") cache.hasCalls = false;
    if (what == "calendar") cache.hasEvents = false;
    cache.media.erase(what);
}

void PhoneData::cancel() {
    cancelled_ = true;
    Zentro_AbortFlushAllDB();
    Zentro_PhotoAbort();
    Zentro_MusicAbort();
    Zentro_VideoAbort();
}

std::string PhoneData::backupRoot() const {
    std::lock_guard lock(detailsMutex_);
    return backupRoot_;
}

void PhoneData::backup(int device, const std::string& folder) {
    cancelled_ = false;
    try {
        ensure(device, true);
        {
            std::lock_guard lock(detailsMutex_);
            backupRoot_ = folder;
        }
        // The same model as `zentro backup`: manifest, digests, safe names, the page.
        cli::BackupSteps steps;
        steps.changed = [this](const std::string& step, const char* state) {
            hub_.publish("backup", {{"kind", step}, {"state", state}, {"done", 0}, {"total", 0}});
        };
        steps.cancelled = [this] { return cancelled_.load(); };
        PageRead reading(hub_, cancelled_); // each record kind's bar, and Cancel within a kind
        steps.reading = &reading;
        cli::backUpPhone(folder, device, steps);
        hub_.publish("backup", {{"kind", "all"}, {"state", "done"}, {"done", 0}, {"total", 0}});
    } catch (const std::exception& failure) {
        if (cancelled_)
            hub_.publish("backup", {{"kind", "all"}, {"state", "cancelled"}, {"done", 0}, {"total", 0}});
        else
            hub_.publish("backup", {{"kind", "all"}, {"state", "failed"}, {"message", failure.what()}});
    }
    Zentro_ResetFlushAllDBStatus();
}

json PhoneData::restore(int device, const std::string& folder, bool dryRun) {
    cancelled_ = false;
    ensure(device, true);
    std::optional<ProgressWatch> transfer;
    // The same model as `zentro restore`; media kinds show the library's transfer progress.
    cli::BackupSteps steps;
    steps.changed = [this, &transfer, dryRun](const std::string& step, const char* state) {
        transfer.reset();
        if (dryRun) return;
        hub_.publish("restore", {{"kind", step}, {"state", state}});
        for (const cli::MediaKind& kind : cli::mediaKinds()) {
            if (step == kind.family && std::string(state) == "running")
                transfer.emplace(hub_, "restore", step,
                                 [&kind] { return std::pair<int64_t, int64_t>(kind.progress(), 100); });
        }
    };
    steps.cancelled = [this] { return cancelled_.load(); };
    json report;
    try {
        report = cli::restoreBackup(folder, device, "contacts,calendar,calls,messages,photos,music,videos",
                                    dryRun, steps);
    } catch (const cli::Failure& failure) {
        transfer.reset();
        Zentro_ResetFlushAllDBStatus();
        if (!dryRun)
            hub_.publish("restore", {{"kind", "all"},
                                     {"state", cancelled_ ? "cancelled" : "failed"},
                                     {"message", failure.what()}});
        throw ApiError(cancelled_ ? 409 : 502, failure.what());
    }
    Zentro_ResetFlushAllDBStatus();
    forget(device, "contacts");
    forget(device, "calls");
    forget(device, "calendar");
    for (const cli::MediaKind& kind : cli::mediaKinds()) forget(device, kind.family);
    if (!dryRun) hub_.publish("restore", {{"kind", "all"}, {"state", "done"}, {"report", report}});
    return report;
}

} // namespace zentro::ui
