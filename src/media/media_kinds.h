// The media kind table: photo, music and video differ only in data (command words, phone
// folder, chunk caps, detail layout, which transfer state they keep), so every media operation
// exists once and reads its kind's row.
#pragma once

#include <atomic>
#include <cstdint>

namespace zentro::media {

enum class MediaKind : int { Photo = 0, Music = 1, Video = 2 };
constexpr int kMediaKindCount = 3;

struct MediaKindRow {
    const char* name;   // "Photo", "Music", "Video": the middle of the kind's log verbs
    const char* idName; // the item ID's name in log lines: "photo_id", "songid", "videoid"

    // Command words; the operations add the arguments (":%d", ":%s" ...) and the ";".
    const char* listRefresh;
    const char* count;
    const char* itemDetails;
    const char* thumbnail; // null: the kind has no thumbnail
    int thumbnailKeys;     // 1 or 2 decimal keys
    const char* deleteOne;
    const char* deleteAll;
    const char* pathById;
    const char* readChunk;
    const char* clashTest;
    const char* pushFolder; // the phone folder adb pushes into, with its trailing "/"
    const char* openCommand;
    const char* writeCommand;
    const char* closeCommand; // complete command, ";" included
    const char* completionNotice;
    const char* abandonNotice;

    int32_t downloadChunkCap;  // per chunk read over the channel to the PC
    int32_t transferChunkCap;  // per chunk read from the source phone; 0 for kinds never sent
    int32_t clashReplyMinimum; // reply bytes a clash test must bring to count as answered
    int32_t abortResult;       // what the kind's abort export returns
    bool keepsTransferredSize;

    // The verb and line end of the phone-to-phone start line (null where the kind has none).
    const char* transferVerb;
    const char* transferLineEnd;

    // Fills the kind's packed detail record from one reply text (cut in place).
    void (*parseDetails)(char* text, void* info);
    // Stores 0 into the record's id field (byte-wise; the record is packed).
    void (*clearId)(void* info);
};

const MediaKindRow& kindRow(MediaKind kind);

// Per-kind transfer state, set and read from another host thread while a transfer runs.
struct TransferState {
    std::atomic<uint8_t> abort{0};
    std::atomic<int32_t> progress{0};
    std::atomic<int64_t> transferred{0};
};

TransferState& transferState(MediaKind kind);

// Sets the abort flag and returns the kind's abort result.
int32_t requestAbort(MediaKind kind);

} // namespace zentro::media
