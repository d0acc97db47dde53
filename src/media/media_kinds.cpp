#include "media/media_kinds.h"

#include <cstring>

#include "link/reply_grammar.h"
#include "zentrolink.h"

namespace zentro::media {
namespace {

using namespace link;

// "TILTE" is spelled so on the wire in all three kinds.
constexpr FieldRule<PhotoInfo> kPhotoFields[] = {
    {"ID", storeInt32<&PhotoInfo::id>},
    {"TILTE", storeText<&PhotoInfo::title>},
    {"PATH", storeText<&PhotoInfo::path>},
    {"SIZE", storeInt64<&PhotoInfo::size>},
    {"MODIFTIME", storeInt64<&PhotoInfo::modifiedTime>},
    {"CREATETIME", storeInt64<&PhotoInfo::createdTime>},
};

constexpr FieldRule<MusicInfo> kMusicFields[] = {
    {"ID", storeInt32<&MusicInfo::id>},
    {"ALBUMID", storeInt32<&MusicInfo::albumId>},
    {"TILTE", storeText<&MusicInfo::title>},
    {"ALBUM", storeText<&MusicInfo::album>},
    {"ARTIST", storeText<&MusicInfo::artist>},
    {"PATH", storeText<&MusicInfo::path>},
    {"DURATION", storeInt64<&MusicInfo::duration>},
    {"SIZE", storeInt64<&MusicInfo::size>},
    {"MODIFTIME", storeInt64<&MusicInfo::modifiedTime>},
    {"CREATETIME", storeInt64<&MusicInfo::createdTime>},
};

constexpr FieldRule<VideoInfo> kVideoFields[] = {
    {"ID", storeInt32<&VideoInfo::id>},
    {"TILTE", storeText<&VideoInfo::title>},
    {"DISPLAYNAME", storeText<&VideoInfo::displayName>},
    {"PATH", storeText<&VideoInfo::path>},
    {"DURATION", storeInt64<&VideoInfo::duration>},
    {"SIZE", storeInt64<&VideoInfo::size>},
    {"MODIFTIME", storeInt64<&VideoInfo::modifiedTime>},
    {"CREATETIME", storeInt64<&VideoInfo::createdTime>},
};

template <class Record, size_t N>
void parseInto(const FieldRule<Record> (&rules)[N], char* text, void* info) {
    parseFirstRecord<Record>(text, rules, *static_cast<Record*>(info));
}

template <class Record>
void clearIdOf(void* info) {
    const int32_t zero = 0;
    static_assert(offsetof(Record, id) == 0);
    std::memcpy(info, &zero, sizeof zero);
}

const MediaKindRow kRows[kMediaKindCount] = {
    {
        .name = "Photo",
        .idName = "photo_id",
        .listRefresh = "flushphotolist",
        .count = "getdcimcount",
        .itemDetails = "getdcimindexinfo",
        .thumbnail = "getdcimthumb",
        .thumbnailKeys = 1,
        .deleteOne = "deletephoto",
        .deleteAll = "ClearPhotos",
        .pathById = "getfilepathForid",
        .readChunk = "getdcimdata",
        .clashTest = "checkFileisExist",
        .pushFolder = "/sdcard/Images/",
        .openCommand = "open_photofile",
        .writeCommand = "write_photofile",
        .closeCommand = "close_photofile;",
        .completionNotice = "addphototodevice",
        .abandonNotice = "addphototodevice_abort",
        .downloadChunkCap = 4096,
        .transferChunkCap = 0,
        .clashReplyMinimum = 4,
        .abortResult = 0,
        .keepsTransferredSize = false,
        .transferVerb = nullptr,
        .transferLineEnd = nullptr,
        .parseDetails = [](char* text, void* info) { parseInto(kPhotoFields, text, info); },
        .clearId = clearIdOf<PhotoInfo>,
    },
    {
        .name = "Music",
        .idName = "songid",
        .listRefresh = "flushmusiclist",
        .count = "getmusiccount",
        .itemDetails = "getmusicindexinfo",
        .thumbnail = "getmusicthumb",
        .thumbnailKeys = 2,
        .deleteOne = "deletemusic",
        .deleteAll = "ClearMusic",
        .pathById = "GetMusicPathById",
        .readChunk = "exportfilefromdevice_music",
        .clashTest = "checkMusicFileisExist",
        .pushFolder = "/sdcard/Music/",
        .openCommand = "open_Musicfile",
        .writeCommand = "write_musicfile",
        .closeCommand = "close_Musicfile;",
        .completionNotice = "addmusictodevice",
        .abandonNotice = "addmusictodevice_abort",
        .downloadChunkCap = 10240,
        .transferChunkCap = 10240,
        .clashReplyMinimum = 4,
        .abortResult = -1,
        .keepsTransferredSize = true,
        .transferVerb = "TransferMusicfromDevice",
        .transferLineEnd = " \n",
        .parseDetails = [](char* text, void* info) { parseInto(kMusicFields, text, info); },
        .clearId = clearIdOf<MusicInfo>,
    },
    {
        .name = "Video",
        .idName = "videoid",
        .listRefresh = "flushvideolist",
        .count = "getvideocount",
        .itemDetails = "getvideoindexinfo",
        .thumbnail = nullptr,
        .thumbnailKeys = 0,
        .deleteOne = "deletevideofromdevice",
        .deleteAll = "ClearVideos",
        .pathById = "GetVideoPathById",
        .readChunk = "exportfilefromdevice_video",
        .clashTest = "checkVideoFileisExist",
        .pushFolder = "/sdcard/Videos/",
        .openCommand = "open_videofile",
        .writeCommand = "write_videofile",
        .closeCommand = "close_videofile;",
        .completionNotice = "addvideotodevice",
        .abandonNotice = "addvideotodevice_abort",
        .downloadChunkCap = 10240,
        .transferChunkCap = 10240,
        .clashReplyMinimum = 1,
        .abortResult = 0,
        .keepsTransferredSize = true,
        .transferVerb = "ExportVideofromDevice",
        .transferLineEnd = "\n",
        .parseDetails = [](char* text, void* info) { parseInto(kVideoFields, text, info); },
        .clearId = clearIdOf<VideoInfo>,
    },
};

TransferState g_transfer[kMediaKindCount];

} // namespace

const MediaKindRow& kindRow(MediaKind kind) { return kRows[static_cast<int>(kind)]; }

TransferState& transferState(MediaKind kind) { return g_transfer[static_cast<int>(kind)]; }

int32_t requestAbort(MediaKind kind) {
    transferState(kind).abort.store(1);
    return kindRow(kind).abortResult;
}

} // namespace zentro::media
