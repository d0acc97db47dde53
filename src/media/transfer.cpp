#include "media/transfer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bridge/adb_runner.h"
#include "core/log.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "media/command_text.h"
#ifdef ZENTRO_TESTING
#include "media/test_seams.h"
#endif
#include "media/write_session.h"

namespace zentro::media {
namespace {

// The phone's shared storage root, asked once and kept for every kind and device.
char g_storageRoot[kStorageRootSize] = {};

constexpr size_t kSessionNameMaximum = 510; // hex text of 1,020 characters

// The storage root from the cache, asking the companion when it is still empty. False when it
// cannot be had.
bool storageRoot(int32_t deviceIndex) {
    if (g_storageRoot[0] != '\0') return true;
    char reply[kStorageRootSize + 1] = {};
    const int received =
        link::sendCommand("getExternalStoragePath;", reply, kStorageRootSize, nullptr, 0, deviceIndex);
    if (received < 1) return false;
    reply[received] = '\0';
    if (std::strlen(reply) >= kStorageRootSize) return false; // no room for its zero byte
    core::copyText(g_storageRoot, sizeof g_storageRoot, reply);
    return true;
}

void logShortCopy(const char* verb, const MediaKindRow& row, int32_t id, int64_t arrived, int64_t fileSize) {
    if (arrived >= fileSize) return;
    core::log(0, "%s%sfromDevice %s=%d: %lld of %lld bytes arrived\n", verb, row.name, row.idName, id,
              static_cast<long long>(arrived), static_cast<long long>(fileSize));
}

} // namespace

int readChunk(MediaKind kind, int32_t id, int64_t offset, int32_t count, char* buffer, int32_t deviceIndex) {
    char command[256];
    formatInto(command, sizeof command, "%s:%d:%lld:%d;", kindRow(kind).readChunk, id,
               static_cast<long long>(offset), count);
    return link::sendCommand(command, buffer, count, nullptr, 0, deviceIndex);
}

bool isChunkData(int received, int64_t offset, int64_t fileSize) {
    if (received <= 0) return false;
    if (received > kStatusReplyMaximum) return true;
    return offset + received == fileSize;
}

int32_t downloadOverChannel(MediaKind kind, int32_t id, const char* pcFile, int64_t fileSize,
                            int32_t deviceIndex) {
    const MediaKindRow& row = kindRow(kind);
    core::log(0, "Export%sfromDevice %s=%d,pcfilename=%s,filesize=%lld\n", row.name, row.idName, id,
              pcFile != nullptr ? pcFile : "", static_cast<long long>(fileSize));
    TransferState& state = transferState(kind);
    state.abort.store(0);
    state.progress.store(0);
    core::ensureTransferBuffer();
    if (fileSize <= 0) fileSize = 1;
    if (pcFile == nullptr || pcFile[0] == '\0') return -1;
    std::FILE* file = std::fopen(pcFile, "w+b");
    if (file == nullptr) return -1;

    char* buffer = core::transferBuffer();
    const int64_t bufferSize = buffer != nullptr ? core::transferBufferSize() : 0;
    int64_t offset = 0;
    while (bufferSize > 0) {
        const auto chunk =
            static_cast<int32_t>(std::min<int64_t>({bufferSize, fileSize - offset, row.downloadChunkCap}));
        const int received = readChunk(kind, id, offset, chunk, buffer, deviceIndex);
        if (!isChunkData(received, offset, fileSize)) break;
        if (std::fwrite(buffer, 1, static_cast<size_t>(received), file) != static_cast<size_t>(received)) {
            core::log(0, "Export%sfromDevice: writing %s failed\n", row.name, pcFile);
            break;
        }
        offset += received;
        if (offset >= fileSize) break;
        state.progress.store(static_cast<int32_t>(std::min<int64_t>(offset * 100 / fileSize, 99)));
        if (state.abort.load() == 1) break;
    }
    std::fclose(file);
    state.progress.store(100);
    logShortCopy("Export", row, id, offset, fileSize);
    return 0;
}

int32_t downloadFile(MediaKind kind, int32_t id, const char* pcFile, int64_t fileSize, int32_t deviceIndex) {
    const MediaKindRow& row = kindRow(kind);
    if (kind != MediaKind::Music) {
        core::log(0, "Export%sfromDevice %s=%d,pcfilename=%s,filesize=%lld\n", row.name, row.idName, id,
                  pcFile != nullptr ? pcFile : "", static_cast<long long>(fileSize));
    }
    const core::DeviceEntry* entry = core::deviceRow(deviceIndex);
    if (entry == nullptr) return -1;
    if (entry->connectionKind == core::kConnectionWifi) {
        return downloadOverChannel(kind, id, pcFile, fileSize, deviceIndex);
    }
    if (!storageRoot(deviceIndex)) return -1;

    char command[256];
    formatInto(command, sizeof command, "%s:%d;", row.pathById, id);
    char path[1024 + 1] = {};
    const int received = link::sendCommand(command, path, 1024, nullptr, 0, deviceIndex);
    if (received < 4) {
        if (kind == MediaKind::Music) {
            core::log(0, "error ExportMusicfromDevice songid=%d,pcfilename=%s,filesize=%lld\n", id,
                      pcFile != nullptr ? pcFile : "", static_cast<long long>(fileSize));
        }
        return -1;
    }
    path[received] = '\0';
    if (kind == MediaKind::Music) {
        core::log(0, "ExportMusicfromDevice songid=%d,pcfilename=%s,dev_path=%s\n", id,
                  pcFile != nullptr ? pcFile : "", path);
    }
    if (path[0] == '\0') return 0;

    // The phone's own root is replaced by /sdcard, the name adb knows it by.
    const size_t rootLength = std::strlen(g_storageRoot);
    const bool usable = pcFile != nullptr && bridge::plainAdbWord(entry->serial, "serial of pull") &&
                        bridge::quotableAdbText(path, "phone file to pull") &&
                        bridge::quotableAdbText(pcFile, "PC file to pull into");
    char args[2048];
    if (std::strlen(path) < rootLength || !usable ||
        !formatInto(args, sizeof args, "-s %s pull \"/sdcard%s\" \"%s\" ", entry->serial, path + rootLength,
                    pcFile) ||
        !bridge::adbArgumentsFit(args)) {
        core::log(0, "Export%sfromDevice %s=%d: refused, path %s or PC file name unusable\n", row.name,
                  row.idName, id, path);
        return -1;
    }
    bridge::runAdb(args);
    return 0;
}

int32_t transferBetweenPhones(MediaKind kind, int32_t id, const char* deviceFileName, int64_t fileSize,
                              int32_t sourceIndex, int32_t destinationIndex) {
    const MediaKindRow& row = kindRow(kind);
    if (row.transferVerb == nullptr) return -1;
    core::log(0, "%s %s=%d,device_filename=%s,filesize=%lld,src_deviceindex=%d,des_deviceindex=%d%s",
              row.transferVerb, row.idName, id, deviceFileName != nullptr ? deviceFileName : "",
              static_cast<long long>(fileSize), sourceIndex, destinationIndex, row.transferLineEnd);
    TransferState& state = transferState(kind);
    state.abort.store(0);
    state.transferred.store(0);
    core::ensureTransferBuffer();
    if (fileSize <= 0) fileSize = 1;
    if (deviceFileName == nullptr || deviceFileName[0] == '\0') return -1;
    if (std::strlen(deviceFileName) > kSessionNameMaximum) return -1; // the notice would name another file

    openSession(kind, deviceFileName, destinationIndex);
    char* buffer = core::transferBuffer();
    const int32_t chunk = buffer != nullptr ? std::min(core::transferBufferSize(), row.transferChunkCap) : 0;
    int64_t offset = 0;
    while (chunk > 0 && offset < fileSize) {
        // The remaining length does not shrink the request: the phone answers with what is left.
        const int received = readChunk(kind, id, offset, chunk, buffer, sourceIndex);
        if (!isChunkData(received, offset, fileSize)) break;
        offset += received;
        if (writeSession(kind, buffer, received, destinationIndex) <= 0) break;
        state.transferred.store(std::min(offset, fileSize));
        if (state.abort.load() == 1) break;
    }
    finishSession(kind, deviceFileName, state.abort.load() != 0, destinationIndex);
    logShortCopy("Transfer", row, id, offset, fileSize);
    return 0;
}

#ifdef ZENTRO_TESTING
void resetMediaForTests() {
    g_storageRoot[0] = '\0';
    for (int kind = 0; kind < kMediaKindCount; ++kind) {
        TransferState& state = transferState(static_cast<MediaKind>(kind));
        state.abort.store(0);
        state.progress.store(0);
        state.transferred.store(0);
    }
}
#endif

} // namespace zentro::media
