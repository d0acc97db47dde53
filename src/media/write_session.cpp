#include "media/write_session.h"

#include "link/command_channel.h"
#include "link/integer_reply.h"
#include "media/command_text.h"

namespace zentro::media {
namespace {

int32_t sendNameCommand(const char* word, const char* name, int32_t deviceIndex) {
    char command[1024];
    formatNameCommand(command, word, name);
    return link::sendForInteger(command, deviceIndex);
}

} // namespace

int32_t openSession(MediaKind kind, const char* deviceFileName, int32_t deviceIndex) {
    return sendNameCommand(kindRow(kind).openCommand, deviceFileName, deviceIndex);
}

int32_t closeSession(MediaKind kind, int32_t deviceIndex) {
    return link::sendForInteger(kindRow(kind).closeCommand, deviceIndex);
}

int32_t sendCompletionNotice(MediaKind kind, const char* deviceFileName, int32_t deviceIndex) {
    return sendNameCommand(kindRow(kind).completionNotice, deviceFileName, deviceIndex);
}

int32_t sendAbandonNotice(MediaKind kind, const char* deviceFileName, int32_t deviceIndex) {
    return sendNameCommand(kindRow(kind).abandonNotice, deviceFileName, deviceIndex);
}

int writeSession(MediaKind kind, const void* bytes, int32_t count, int32_t deviceIndex) {
    char command[256];
    formatInto(command, sizeof command, "%s:%d;", kindRow(kind).writeCommand, count);
    // The reply integer is never read: only whether a reply came counts.
    char reply[4] = {'\xff', '\xff', '\xff', '\xff'};
    return link::sendCommand(command, reply, sizeof reply, bytes, count, deviceIndex);
}

void finishSession(MediaKind kind, const char* deviceFileName, bool abandoned, int32_t deviceIndex) {
    closeSession(kind, deviceIndex);
    if (abandoned) {
        sendAbandonNotice(kind, deviceFileName, deviceIndex);
    } else {
        sendCompletionNotice(kind, deviceFileName, deviceIndex);
    }
}

} // namespace zentro::media
