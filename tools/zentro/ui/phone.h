// What the page shows of the phones, read through the exports. Every member except the
// thread-safe ones marked below runs on the worker thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/formats.h"
#include "media_items.h"
#include "records.h"
#include "ui/events.h"

namespace zentro::ui {

using json = nlohmann::ordered_json;

// A refusal the page shows as it is: an HTTP status and one sentence.
struct ApiError : std::runtime_error {
    ApiError(int code, const std::string& message)
        : std::runtime_error(message)
        , status(code) {}
    int status;
};

// A page of a list: `offset`, `limit` (at most 500) from the query.
struct Slice {
    size_t offset = 0;
    size_t limit = 100;
};

class PhoneData {
public:
    PhoneData(EventHub& hub, std::string privateFolder);

    // Thread-safe: the adb server's list with the details detection found so far.
    json phoneList();
    // Detects listed phones not seen yet and publishes the list.
    void detectPhones();
    void prepare(int device);
    std::string pairingImage(); // path of the QR bitmap

    json conversations(int device, const std::string& query, Slice slice);
    json messages(int device, const std::string& address, const std::string& query, Slice slice);
    json sendMessage(int device, const std::string& address, const std::string& body);
    json calls(int device, Slice slice);
    json contacts(int device, const std::string& query, Slice slice);
    json addContact(int device, const std::string& name, const std::string& number);
    json editContact(int device, const std::string& id, const std::string& field, const std::string& value);
    json deleteAllContacts(int device);
    json events(int device, const std::string& month);
    json addEvent(int device, const json& event);
    json apps(int device);
    json installApp(int device, const std::string& file);
    json uninstallApp(int device, const std::string& package);
    std::string exportApp(int device, const std::string& package); // a file in the private folder
    json media(int device, const std::string& family);
    std::string thumbnail(int device, const std::string& family, int32_t id, std::string& type);
    // Downloads into the private folder; the file's path and the name to offer.
    std::string download(int device, const std::string& family, int32_t id, std::string& name);
    json upload(int device, const std::string& family, const std::string& file, const std::string& name);
    json removeMedia(int device, const std::string& family, int32_t id);
    void backup(int device, const std::string& folder);
    // The backup in `folder` onto the phone; with `dryRun` only what would be added, per kind.
    json restore(int device, const std::string& folder, bool dryRun);
    void forget(int device, const std::string& what); // drops a cached list so it is read again

    // Thread-safe: stops the running transfer, bulk read or backup after its current step.
    void cancel();
    // Thread-safe: the folder the last backup went to.
    std::string backupRoot() const;

private:
    struct Cache {
        std::vector<cli::Row> messages, contacts, calls, events;
        bool hasMessages = false, hasContacts = false, hasCalls = false, hasEvents = false;
        struct Conversation {
            std::string address, name;
            std::vector<uint32_t> messages; // positions in `messages`, newest first
        };
        std::vector<Conversation> conversations;
        std::map<std::string, std::vector<cli::MediaItem>> media;
    };

    std::string ensure(int device, bool prepared); // the phone's serial
    Cache& cacheOf(int device, bool prepared = true);
    void loadMessages(int device, Cache& cache);
    void loadContacts(int device, Cache& cache);
    void group(Cache& cache);
    std::vector<cli::Row> readRecords(const cli::RecordKind& kind, int device);
    const cli::MediaKind& kindOf(const std::string& family);
    std::vector<cli::MediaItem>& mediaOf(int device, const std::string& family);
    std::string newPrivateFile(const std::string& stem);

    EventHub& hub_;
    std::string folder_;
    std::map<std::string, Cache> caches_; // by serial
    std::map<int, std::string> detected_; // device index -> serial the library detected there
    std::map<std::string, bool> prepared_;
    std::set<std::string> everListed_; // serials adb listed during this run
    std::atomic<bool> cancelled_{false};
    uint64_t fileCounter_ = 0;

    mutable std::mutex detailsMutex_;
    std::map<std::string, json> details_; // by serial: maker, model, android, prepared
    std::string backupRoot_;
};

} // namespace zentro::ui
