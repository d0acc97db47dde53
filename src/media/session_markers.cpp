#include "media/session_markers.h"

#include "core/state.h"
#include "link/integer_reply.h"
#include "media/command_text.h"

namespace zentro::media {

void relayMarker(const char* command) {
    const int32_t rows = core::state().connectAndroidCount;
    if (rows <= 0) return;
    link::sendForInteger(command, 0);
    if (rows > 1) link::sendForInteger(command, 1);
}

void relayUpdateMarker(const char* text, int32_t number) {
    char command[1024];
    if (text == nullptr ||
        !formatInto(command, sizeof command, "sync_zentrolink_Update:%s:%d;", text, number)) {
        return;
    }
    relayMarker(command);
}

} // namespace zentro::media
