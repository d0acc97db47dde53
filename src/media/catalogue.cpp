#include "media/catalogue.h"

#include <cstring>

#include "core/state.h"
#include "link/command_channel.h"
#include "link/integer_reply.h"
#include "media/command_text.h"

namespace zentro::media {
namespace {

constexpr int32_t kDetailReplySize = 1024;

} // namespace

int32_t refreshList(MediaKind kind, int32_t deviceIndex) {
    char command[256];
    formatInto(command, sizeof command, "%s;", kindRow(kind).listRefresh);
    return link::sendForInteger(command, deviceIndex);
}

int32_t itemCount(MediaKind kind, int32_t deviceIndex) {
    char command[256];
    formatInto(command, sizeof command, "%s;", kindRow(kind).count);
    return link::sendForInteger(command, deviceIndex);
}

int32_t deleteItem(MediaKind kind, int32_t key, int32_t deviceIndex) {
    char command[256];
    formatInto(command, sizeof command, "%s:%d;", kindRow(kind).deleteOne, key);
    return link::sendForInteger(command, deviceIndex);
}

int32_t deleteAll(MediaKind kind, int32_t deviceIndex) {
    char command[256];
    formatInto(command, sizeof command, "%s;", kindRow(kind).deleteAll);
    return link::sendForInteger(command, deviceIndex);
}

int32_t itemDetails(MediaKind kind, void* info, int32_t position, int32_t deviceIndex) {
    if (info == nullptr) return -1;
    const MediaKindRow& row = kindRow(kind);
    char command[256];
    formatInto(command, sizeof command, "%s:%d;", row.itemDetails, position);
    char reply[kDetailReplySize] = {};
    row.clearId(info);
    const int received = link::sendCommand(command, reply, kDetailReplySize, nullptr, 0, deviceIndex);
    reply[kDetailReplySize - 1] = '\0';
    if (received <= 0 || reply[0] == '\0') return -1;
    row.parseDetails(reply, info);
    return 0;
}

int32_t thumbnail(MediaKind kind, char** out, int32_t key, int32_t secondKey, int32_t deviceIndex) {
    if (out == nullptr) return -1;
    *out = nullptr;
    const MediaKindRow& row = kindRow(kind);
    if (row.thumbnail == nullptr) return -1;
    char* buffer = nullptr;
    core::sharedReplyBuffer(&buffer);
    if (buffer == nullptr) return -1;
    char command[256];
    if (row.thumbnailKeys == 2) {
        formatInto(command, sizeof command, "%s:%d:%d;", row.thumbnail, key, secondKey);
    } else {
        formatInto(command, sizeof command, "%s:%d;", row.thumbnail, key);
    }
    const int received = link::sendCommand(command, buffer, core::kReplyBufferSize, nullptr, 0, deviceIndex);
    if (received <= 4) return -1; // up to 4 bytes is a status word, not a picture
    *out = buffer;
    return received;
}

} // namespace zentro::media
