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
    {"Photo",
     "photo_id",
     "flushphotolist",
     "getdcimcount",
     "getdcimindexinfo",
     "getdcimthumb",
     1,
     "deletephoto",
     "ClearPhotos",
     "getfilepathForid",
     "getdcimdata",
     "checkFileisExist",
     "/sdcard/Images/",
     "open_photofile",
     "write_photofile",
     "close_photofile;",
     "addphototodevice",
     "addphototodevice_abort",
     4096,
     0,
     4,
     0,
     false,
     nullptr,
     nullptr,
     [](char* text, void* info) { parseInto(kPhotoFields, text, info); },
     clearIdOf<PhotoInfo>},
    {"Music",
     "songid",
     "flushmusiclist",
     "getmusiccount",
     "getmusicindexinfo",
     "getmusicthumb",
     2,
     "deletemusic",
     "ClearMusic",
     "GetMusicPathById",
     "exportfilefromdevice_music",
     "checkMusicFileisExist",
     "/sdcard/Music/",
     "open_Musicfile",
     "write_musicfile",
     "close_Musicfile;",
     "addmusictodevice",
     "addmusictodevice_abort",
     10240,
     10240,
     4,
     -1,
     true,
     "TransferMusicfromDevice",
     " \n",
     [](char* text, void* info) { parseInto(kMusicFields, text, info); },
     clearIdOf<MusicInfo>},
    {"Video",
     "videoid",
     "flushvideolist",
     "getvideocount",
     "getvideoindexinfo",
     nullptr,
     0,
     "deletevideofromdevice",
     "ClearVideos",
     "GetVideoPathById",
     "exportfilefromdevice_video",
     "checkVideoFileisExist",
     "/sdcard/Videos/",
     "open_videofile",
     "write_videofile",
     "close_videofile;",
     "addvideotodevice",
     "addvideotodevice_abort",
     10240,
     10240,
     1,
     0,
     true,
     "ExportVideofromDevice",
     "\n",
     [](char* text, void* info) { parseInto(kVideoFields, text, info); },
     clearIdOf<VideoInfo>},
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
