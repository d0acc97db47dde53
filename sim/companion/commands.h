// The companion app's command table: every command the PC library sends, answered from the
// phone's data set. Pure request-to-reply code, no sockets, so it is tested on its own.
//
// Reply forms (a reply is the bytes behind the 4-byte length):
// - counts, statuses: a 4-byte little-endian signed integer. Statuses are 1 for done and -1
//   for a refusal (malformed arguments, unknown id or keyword, bad name). List refresh commands
//   answer the number of items in the rebuilt list. A write chunk answers the bytes stored.
// - new contacts ("AddPerson:", "AddPerson3:"): the new id as 8 bytes little-endian; 0 when
//   refused (no name and no field at all, or malformed).
// - record pages and details: KEY:HEX; fields, "." after each record; 5 records per page,
//   newest first for messages and calls, calendar by start time, contacts by id. A page past
//   the end is an empty reply. Detail replies stay within 1,023 bytes (long texts are cut).
// - plain text: the storage root "/storage/emulated/0", file paths under it, the default
//   messaging package. An unknown id gives an empty reply.
// - raw bytes: thumbnails (PNG) and file chunks. Where a chunk or picture cannot be given the
//   reply is a 4-byte status instead: -1 for an unknown id or bad range, 0 at end of file.
// - anything not understood: an empty reply.
//
// Formats of our own choosing:
// - message DATE and call DATE: "YYYY-MM-DD HH:MM:SS"; message TYPE 1 received, 2 sent;
//   READ 0/1; PROTOCOL "0" on received messages only; STATUS "-1"; PERSON the contact id, left
//   out for numbers that belong to nobody. Call TYPE 1 incoming, 2 outgoing, 3 missed;
//   DURATION in seconds; NAME only for numbers of contacts.
// - calendar START and END: milliseconds since 1970 in decimal; HASALARM "0"/"1"; MINUTES the
//   reminder lead in minutes (empty without alarm); RRULE left out when not recurring.
// - applications: sizes in bytes, INSTALLTIME and LASTUPDATETIME in milliseconds since 1970,
//   PERMISSIONS a comma-separated list of short names.
// - media: SIZE in bytes, MODIFTIME and CREATETIME in seconds since 1970, DURATION in
//   milliseconds, PATH under the storage root. Item keys of thumbnails, deletes, paths and
//   chunks are item ids (the ID field), never list positions. "getmusicthumb:<a>:<b>;" reads
//   <a> as a track id and <b> as an album id: the cover of album <b> when it exists, else the
//   cover of track <a>'s album.
// - "SendSMS:" stores one sent message per recipient (the address item may list several,
//   separated by ',' or ';'); an empty date means now, empty read-state 1, empty type 2; the
//   "-1" item asks for the thread of the address, a positive number names a thread.
// - "AddCallHistory:" and "AddCalender:" store the decoded texts; an empty call type means 1,
//   an empty call date now; a recurrence rule of one blank means none.
// - "SetDefaultMessage;" makes the companion the default messaging app, "ReSetDefaultMessage;"
//   gives the role back to the app that had it ("com.android.mms" at first).
// - write sessions (one per media kind): open creates or empties <folder>/<name> in the file
//   tree (folders /sdcard/Images, /sdcard/Music, /sdcard/Videos, as the push route uses),
//   writes append, a write with no open session gets an empty reply (the chunk was not taken);
//   the completion notice adds the file to the kind's list, the abandon notice deletes it.
//   Clash tests answer 1 when <folder>/<name> exists, 0 when not, -1 for a bad name (empty,
//   absolute, or with a ".." part). Their name travels as plain text, so a name holding ';'
//   cannot be told from the end of the command; such a name is cut there.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "companion/dataset.h"
#include "device.h"

namespace zsim::companion {

inline constexpr int kPageSize = 5;
inline constexpr const char* kCompanionPackage = "com.vantrey.pocketdesk";
inline constexpr const char* kStockMessagingPackage = "com.android.mms";
// The largest write chunk accepted; a bigger announced payload cannot be framed safely.
inline constexpr int64_t kMaxPayload = 16 * 1024 * 1024;

struct Request {
    std::string text;    // as received, ";" included
    std::string name;    // text before the first ':' or ';'
    std::string args;    // text between that ':' and the closing ';'
    std::string payload; // raw bytes behind the command (write chunks)
};

Request makeRequest(std::string text, std::string payload = {});
// The keys of a contact record by person field number; "" where a field has no key.
extern const char* const kContactKeys[21];

std::string commandName(std::string_view text);

// How many payload bytes follow the command: 0 for commands without, -1 when the announced
// size is beyond kMaxPayload.
int64_t payloadLength(const Request& request);

// The companion of one phone: its data set and its open write sessions.
class CompanionState {
public:
    explicit CompanionState(Device& device);

    // Answers one command. Thread-safe; commands of different connections take turns.
    std::string handle(const Request& request);

    struct Markers {
        bool active = false;
        int updates = 0;
        std::string lastText;
        int64_t lastNumber = 0;
    };
    Markers markers() const;

    using Handler = std::string (CompanionState::*)(const Request&);

private:
    struct Session {
        bool open = false;
        std::string path;
    };

    // Link and device.
    std::string hello(const Request&);
    std::string notice(const Request&);
    std::string deviceInfo(const Request&);
    std::string storagePath(const Request&);
    // Messages.
    std::string smsCount(const Request&);
    std::string smsPage(const Request&);
    std::string smsClear(const Request&);
    std::string smsSend(const Request&);
    std::string defaultSet(const Request&);
    std::string defaultReset(const Request&);
    std::string defaultName(const Request&);
    // Call log.
    std::string callCount(const Request&);
    std::string callPage(const Request&);
    std::string callClear(const Request&);
    std::string callAdd(const Request&);
    // Calendar.
    std::string eventCount(const Request&);
    std::string eventPage(const Request&);
    std::string eventClear(const Request&);
    std::string eventAdd(const Request&);
    // Contacts.
    std::string contactCount(const Request&);
    std::string contactPage(const Request&);
    std::string contactAdd(const Request&);
    std::string contactAddAll(const Request&);
    std::string contactUpdate(const Request&);
    std::string contactClear(const Request&);
    // Applications.
    std::string appFlush(const Request&);
    std::string appCount(const Request&);
    std::string appInfo(const Request&);
    // Media, by kind.
    template <MediaKind K>
    std::string mediaFlush(const Request&);
    template <MediaKind K>
    std::string mediaCount(const Request&);
    template <MediaKind K>
    std::string mediaInfo(const Request&);
    template <MediaKind K>
    std::string mediaThumb(const Request&);
    template <MediaKind K>
    std::string mediaDelete(const Request&);
    template <MediaKind K>
    std::string mediaClear(const Request&);
    template <MediaKind K>
    std::string mediaPath(const Request&);
    template <MediaKind K>
    std::string mediaRead(const Request&);
    template <MediaKind K>
    std::string mediaExists(const Request&);
    template <MediaKind K>
    std::string mediaOpen(const Request&);
    template <MediaKind K>
    std::string mediaWrite(const Request&);
    template <MediaKind K>
    std::string mediaClose(const Request&);
    template <MediaKind K>
    std::string mediaDone(const Request&);
    template <MediaKind K>
    std::string mediaAbandon(const Request&);
    // Session markers.
    std::string markStart(const Request&);
    std::string markUpdate(const Request&);
    std::string markEnd(const Request&);

    static const std::map<std::string, Handler, std::less<>>& table();

    std::vector<Message>& messages();
    std::vector<Call>& calls();
    std::vector<Event>& events();
    std::vector<Contact>& contacts();
    std::vector<App>& apps();
    MediaCatalogue& media(MediaKind kind);
    void rebuildApps();
    int64_t contactIdOf(const std::string& number);
    std::optional<std::string> contactNameOf(const std::string& number);

    Device& device_;
    mutable std::mutex mutex_;
    std::optional<std::vector<Message>> messages_;
    std::optional<std::vector<Call>> calls_;
    std::optional<std::vector<Event>> events_;
    std::optional<std::vector<Contact>> contacts_;
    std::optional<std::vector<App>> apps_;
    std::map<std::string, App> userApps_; // generated applications, by package
    std::optional<MediaCatalogue> media_[3];
    Session sessions_[3];
    int64_t nextMessageId_ = 1, nextCallId_ = 1, nextEventId_ = 1, nextContactId_ = 1;
    std::string defaultMessaging_ = kStockMessagingPackage;
    std::string previousDefault_ = kStockMessagingPackage;
    Markers markers_;
};

} // namespace zsim::companion
