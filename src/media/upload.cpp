#include "media/upload.h"

#include <cstdio>
#include <cstring>

#include "bridge/adb_runner.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "link/integer_reply.h"
#include "media/command_text.h"
#include "media/write_session.h"
#include "platform/files.h"

namespace zentro::media {
namespace {

constexpr size_t kSessionNameMaximum = 510; // hex text of 1,020 characters
constexpr int kLastNumber = 9;              // names tried: the caller's, then (1) to (9)
constexpr size_t kNumberRoom = 3;           // "(9)"
constexpr size_t kNameTestSize = 512;       // the name test command's buffer

struct ClashAnswer {
    int received; // the channel result
    bool taken;
};

ClashAnswer askWhetherTaken(const MediaKindRow& row, const char* name, int32_t deviceIndex) {
    char command[kNameTestSize];
    formatInto(command, sizeof command, "%s:%s;", row.clashTest, name);
    char reply[4] = {};
    const int received = link::sendCommand(command, reply, sizeof reply, nullptr, 0, deviceIndex);
    return {received, link::readLittleEndian32(reply) == 1};
}

bool usableDeviceName(const MediaKindRow& row, const char* name) {
    if (name == nullptr || name[0] == '\0' || std::strpbrk(name, "\";/") != nullptr) return false;
    const size_t longest = std::strlen(name) + kNumberRoom;
    return longest <= kSessionNameMaximum && std::strlen(row.clashTest) + 1 + longest + 1 < kNameTestSize &&
           std::strlen(row.pushFolder) + longest < 1024;
}

} // namespace

size_t numberPosition(const char* name) {
    const size_t length = std::strlen(name);
    const char* dot = std::strrchr(name, '.');
    return dot != nullptr && dot != name ? static_cast<size_t>(dot - name) : length;
}

bool numberedName(char* out, size_t size, const char* name, int number) {
    const size_t position = numberPosition(name);
    return formatInto(out, size, "%.*s(%d)%s", static_cast<int>(position), name, number, name + position);
}

int32_t uploadFile(MediaKind kind, const char* pcFile, const char* deviceFileName, int32_t deviceIndex) {
    const core::DeviceEntry* row = core::deviceRow(deviceIndex);
    if (row != nullptr && row->connectionKind == core::kConnectionWifi) {
        return uploadOverChannel(kind, pcFile, deviceFileName, deviceIndex);
    }
    return uploadOverUsb(kind, pcFile, deviceFileName, deviceIndex);
}

int32_t uploadOverUsb(MediaKind kind, const char* pcFile, const char* deviceFileName, int32_t deviceIndex) {
    const MediaKindRow& row = kindRow(kind);
    const core::DeviceEntry* device = core::deviceRow(deviceIndex);
    if (device == nullptr || pcFile == nullptr || !bridge::plainAdbWord(device->serial, "serial of push") ||
        !bridge::quotableAdbText(pcFile, "PC file to push") ||
        !bridge::quotableAdbText(deviceFileName, "phone file name to push") ||
        !usableDeviceName(row, deviceFileName)) {
        return -1;
    }

    char working[1024];
    core::copyText(working, sizeof working, deviceFileName);
    ClashAnswer answer = askWhetherTaken(row, working, deviceIndex);
    if (answer.received < row.clashReplyMinimum) return -1;
    // Each number replaces the previous one; the name numbered 9 is pushed without asking
    // about its answer, so that push may overwrite it.
    for (int number = 1; answer.taken; ++number) {
        numberedName(working, sizeof working, deviceFileName, number);
        answer = askWhetherTaken(row, working, deviceIndex);
        if (answer.received <= 0 || number >= kLastNumber) break;
    }

    char phonePath[1024];
    char args[2048];
    if (!formatInto(phonePath, sizeof phonePath, "%s%s", row.pushFolder, working) ||
        !formatInto(args, sizeof args, "-s %s push \"%s\" \"%s\" ", device->serial, pcFile, phonePath) ||
        !bridge::adbArgumentsFit(args)) {
        return -1;
    }
    bridge::runAdb(args);
    sendCompletionNotice(kind, working, deviceIndex);
    return 0;
}

int32_t uploadOverChannel(MediaKind kind, const char* pcFile, const char* deviceFileName,
                          int32_t deviceIndex) {
    TransferState& state = transferState(kind);
    state.abort.store(0);
    state.progress.store(0);
    core::ensureTransferBuffer();
    if (pcFile == nullptr || deviceFileName == nullptr || deviceFileName[0] == '\0' ||
        std::strlen(deviceFileName) > kSessionNameMaximum) {
        return -1;
    }
    std::FILE* file = std::fopen(pcFile, "rb");
    if (file == nullptr) return -1;
    const int64_t length = platform::fileLength(file);

    openSession(kind, deviceFileName, deviceIndex);
    char* buffer = core::transferBuffer();
    const size_t bufferSize = buffer != nullptr ? static_cast<size_t>(core::transferBufferSize()) : 0;
    int64_t sent = 0;
    while (bufferSize > 0 && length > 0) {
        const size_t count = std::fread(buffer, 1, bufferSize, file);
        if (count == 0) break;
        if (writeSession(kind, buffer, static_cast<int32_t>(count), deviceIndex) <= 0) break;
        sent += static_cast<int64_t>(count);
        state.progress.store(static_cast<int32_t>(sent * 100 / length));
        if (state.abort.load() == 1) break;
    }
    std::fclose(file);
    finishSession(kind, deviceFileName, state.abort.load() != 0, deviceIndex);
    return 0;
}

} // namespace zentro::media
