// The command channel fed hostile bytes by a companion on a loopback socket: the real exchange
// (length word, body, short and over-long replies, early close, reconnects) and the readers
// behind it (application, media details, record pages, thumbnails, counts).
// Input: one byte picking the operation, two bytes of reply capacity, then the bytes the
// companion sends for every command (it closes the connection behind them).
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "apps/applications.h"
#include "core/state.h"
#include "core/test_seams.h"
#include "fuzz_support.h"
#include "link/command_channel.h"
#include "media/catalogue.h"
#include "peer_connection.h"
#include "records/calendar.h"
#include "records/call_log.h"
#include "records/contacts.h"
#include "records/messages.h"

using namespace zentro;

namespace {

// The bytes the companion sends for every command of the current input.
std::mutex g_replyMutex;
std::string g_reply;

// Answers one command and closes the connection, so a short or broken reply never leaves the
// library waiting for its time-out.
linktest::LoopbackPeer& companion() {
    static linktest::LoopbackPeer* peer = [] {
        core::resetStateForTests();
        auto* p = new linktest::LoopbackPeer([](linktest::PeerConnection& c, int) {
            if (!c.readCommand()) return;
            std::lock_guard<std::mutex> guard(g_replyMutex);
            c.send(g_reply);
        });
        zfuzz::pointChannelAt(p->port());
        return p;
    }();
    return *peer;
}

// The announced length when the bytes hold one.
int64_t announced(const std::string& bytes) {
    if (bytes.size() < 4) return -1;
    uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    return static_cast<int32_t>(n);
}

void rawExchange(const std::string& bytes, int32_t capacity) {
    // Exactly `capacity` bytes: a write past them is caught by the address sanitizer.
    char* reply = static_cast<char*>(std::malloc(static_cast<size_t>(capacity)));
    const int n = link::sendCommand("getsmsCount;", reply, capacity, nullptr, 0, 0);
    FUZZ_CHECK(n >= -1 && n <= capacity);
    if (n > 0) {
        // The body as sent, never more than announced.
        FUZZ_CHECK(n <= announced(bytes));
        FUZZ_CHECK(bytes.size() >= 4 + static_cast<size_t>(n) &&
                   std::memcmp(reply, bytes.data() + 4, n) == 0);
    }
    if (n == 0) {
        for (int32_t i = 0; i < std::min(capacity, 4); ++i) FUZZ_CHECK(reply[i] == 0);
    }
    std::free(reply);
}

template <class Record>
void details(media::MediaKind kind) {
    zfuzz::checkGuardedRecord<Record>([kind](void* at) {
        const int rc = media::itemDetails(kind, at, 0, 0);
        FUZZ_CHECK(rc == 0 || rc == -1);
    });
}

template <class Node>
void page(records::RecordList<Node>& list) {
    list.clear();
    int added = -1;
    const int rc = list.fetchPage(0, 0, &added);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0) FUZZ_CHECK(added >= 0 && list.count() == added);
    list.clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    companion().forgetCommands();
    const uint8_t op = data[0] % 10;
    const int32_t capacity = (data[1] | data[2] << 8) % 2048;
    const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
    {
        std::lock_guard<std::mutex> guard(g_replyMutex);
        g_reply = bytes;
    }

    switch (op) {
    case 0: rawExchange(bytes, capacity); break;
    case 1: {
        AppInfoRecord record;
        std::memset(&record, 0x33, sizeof record);
        const int rc = apps::appInfo(&record, 0, 0);
        FUZZ_CHECK(rc == 0 || rc == -1);
        FUZZ_CHECK(zfuzz::isTerminated(record.packageName) && zfuzz::isTerminated(record.className));
        FUZZ_CHECK(zfuzz::isTerminated(record.label) && zfuzz::isTerminated(record.versionName));
        FUZZ_CHECK(zfuzz::isTerminated(record.permissions));
        break;
    }
    case 2: details<PhotoInfo>(media::MediaKind::Photo); break;
    case 3: details<MusicInfo>(media::MediaKind::Music); break;
    case 4: details<VideoInfo>(media::MediaKind::Video); break;
    case 5: page(records::messageList()); break;
    case 6: page(records::callLogList()); break;
    case 7: page(records::calendarList()); break;
    case 8: page(records::contactList()); break;
    case 9: {
        char* picture = nullptr;
        const int n = media::thumbnail(media::MediaKind::Photo, &picture, 1, 0, 0);
        FUZZ_CHECK(n == -1 || (n > 4 && picture != nullptr && n <= announced(bytes)));
        if (n > 0) FUZZ_CHECK(std::memcmp(picture, bytes.data() + 4, static_cast<size_t>(n)) == 0);
        FUZZ_CHECK(records::messageList().queryCount(0) >= -1);
        break;
    }
    }
    link::closeChannel(0);
    link::closeChannel(1);
    return 0;
}
