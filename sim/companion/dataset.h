// The phone's content as its providers would hold it: messages, call log, calendar, contacts,
// applications and media. Generated from the device's seed, one kind at a time on first use,
// and then changed by the commands the PC sends.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device.h"

namespace zsim::companion {

// Where the phone's shared storage lives as the apps see it; the adb side sees it as /sdcard.
inline constexpr const char* kStorageRoot = "/storage/emulated/0";
inline constexpr const char* kSdcard = "/sdcard";

class Rng {
public:
    explicit Rng(uint64_t seed)
        : state_(seed) {}
    uint64_t next();
    // Uniform in [lo, hi] (hi >= lo).
    int64_t range(int64_t lo, int64_t hi);
    bool chance(int percent) { return range(0, 99) < percent; }
    template <class T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[static_cast<size_t>(range(0, static_cast<int64_t>(N) - 1))];
    }

private:
    uint64_t state_;
};

uint64_t mixSeed(uint64_t seed, uint64_t salt);

struct Message {
    int64_t id = 0;
    int64_t threadId = 0;
    std::string address;
    int64_t person = 0; // contact id, 0 when the number is nobody's
    std::string body;
    std::string date; // YYYY-MM-DD HH:MM:SS
    int type = 1;     // 1 received, 2 sent
    int read = 1;
};

struct Call {
    int64_t id = 0;
    std::optional<std::string> name; // cached contact name; absent for unknown numbers
    std::string number;
    std::string date;
    int type = 1;         // 1 incoming, 2 outgoing, 3 missed
    std::string duration; // seconds
};

struct Event {
    int64_t id = 0;
    int calendarId = 1;
    std::string title, start, end; // start and end: milliseconds since 1970
    std::string location, timeZone, description;
    std::string hasAlarm, minutes, rrule; // rrule empty: not recurring
};

// Person field numbers 0..20: 0 id, 1 first name, 2 last name, 3 nickname, 4 mobile, 5 home,
// 6 work, 7 web site, 8 home e-mail, 9 birthday, 10 group, 11 note, 12 organisation,
// 13 title, 14-15 unused, 16 home address, 17 work address, 18 home fax, 19 work fax,
// 20 work e-mail.
struct Contact {
    int64_t id = 0;
    std::array<std::optional<std::string>, 21> fields;
    std::string displayName() const;
};

struct App {
    std::string package, className, label, version;
    int versionCode = 1;
    bool system = false, onSdCard = false;
    int64_t cacheSize = 0, dataSize = 0, codeSize = 0;
    int64_t installTime = 0, updateTime = 0; // milliseconds since 1970
    std::string permissions;
};

enum class MediaKind { Photo = 0, Music = 1, Video = 2 };

struct MediaItem {
    int64_t id = 0;
    std::string title;
    std::string path;        // in the device's file tree, "/sdcard/..."
    std::string displayName; // file name
    std::string album, artist;
    int64_t albumId = 0;
    int64_t durationMs = 0;
    int64_t size = 0;
    int64_t modified = 0, created = 0; // seconds since 1970
    uint64_t artSeed = 0;              // thumbnails are drawn from it
};

struct MediaCatalogue {
    std::vector<MediaItem> items; // list positions are indexes into this
    int64_t nextId = 1;
    const MediaItem* byId(int64_t id) const;
};

// Counts after defaults and limits: 0 in DataSizes takes the seed's default, a negative
// size gives none. `apps` counts the user's applications; the system's come on top.
DataSizes effectiveSizes(uint32_t seed, const DataSizes& requested);

// Generators. Messages, calls and events come oldest first; pages are served newest first.
std::vector<Message> generateMessages(uint32_t seed, const DataSizes& sizes);
std::vector<Call> generateCalls(uint32_t seed, const DataSizes& sizes);
std::vector<Event> generateEvents(uint32_t seed, const DataSizes& sizes);
std::vector<Contact> generateContacts(uint32_t seed, const DataSizes& sizes);
std::vector<App> systemApps(uint32_t seed);
std::vector<App> generateUserApps(uint32_t seed, const DataSizes& sizes);
// Also writes each item's file into `files`.
MediaCatalogue generateMedia(MediaKind kind, uint32_t seed, const DataSizes& sizes, FileTree& files);

// Metadata for a file that arrived on the phone (upload) rather than from the generator.
MediaItem describeNewFile(MediaKind kind, const std::string& path, const std::string& bytes, int64_t now);

// A hostile phone's data: the generated records with names, bodies, numbers and paths that
// carry terminal escapes, bytes that are not UTF-8, separators, leading dots, spreadsheet
// formulas, Windows device names and over-long texts. Media files move to their hostile paths
// in `files`; one photo reports a size near INT64_MAX.
const std::vector<std::string>& hostileTexts();
void makeHostile(std::vector<Message>& messages);
void makeHostile(std::vector<Call>& calls);
void makeHostile(std::vector<Event>& events);
void makeHostile(std::vector<Contact>& contacts);
void makeHostile(std::vector<App>& apps);
void makeHostile(MediaKind kind, MediaCatalogue& catalogue, FileTree& files);

// A tricky phone's data (see Device::tricky): the generated records and media changed in place
// so that look-alikes must be kept apart and odd texts must come back unchanged.
void makeTricky(std::vector<Message>& messages);
void makeTricky(std::vector<Call>& calls);
void makeTricky(std::vector<Event>& events);
void makeTricky(std::vector<Contact>& contacts);
void makeTricky(MediaKind kind, MediaCatalogue& catalogue, FileTree& files);

// The thumbnail of an item: a small PNG.
std::string photoThumbnail(const MediaItem& item);
std::string coverThumbnail(const MediaItem& item);

} // namespace zsim::companion
