// Exports of the photo, music and video family: catalogue, downloads, phone-to-phone copies,
// abort and progress.
#include "zentrolink.h"

#include "api/guard.h"
#include "media/catalogue.h"
#include "media/transfer.h"

using namespace zentro;
using media::MediaKind;

extern "C" {

// ---- photos ----

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesPhotos(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::refreshList(MediaKind::Photo, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoCount(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::itemCount(MediaKind::Photo, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoInfo(PhotoInfo* info, int32_t position, int32_t deviceIndex) {
    return api::guarded(-1,
                        [&] { return media::itemDetails(MediaKind::Photo, info, position, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoThumb(char** picture, int32_t key, int32_t deviceIndex) {
    return api::guarded(-1, [&] { return media::thumbnail(MediaKind::Photo, picture, key, 0, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_DeletePhoto(int32_t key, int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::deleteItem(MediaKind::Photo, key, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearPhoto(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::deleteAll(MediaKind::Photo, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportPhotofromDevice(int32_t photo_id, const char* pcfilename,
                                                            int64_t filesize, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        return media::downloadFile(MediaKind::Photo, photo_id, pcfilename, filesize, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportPhotofromDevice2(int32_t photo_id, const char* pcfilename,
                                                             int64_t filesize, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        return media::downloadOverChannel(MediaKind::Photo, photo_id, pcfilename, filesize, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoAbort(void) { return media::requestAbort(MediaKind::Photo); }

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoProgress(void) {
    return media::transferState(MediaKind::Photo).progress.load();
}

// ---- music ----

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesMusic(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::refreshList(MediaKind::Music, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicCount(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::itemCount(MediaKind::Music, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicInfo(MusicInfo* info, int32_t position, int32_t deviceIndex) {
    return api::guarded(-1,
                        [&] { return media::itemDetails(MediaKind::Music, info, position, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicThumb(char** picture, int32_t key, int32_t secondKey,
                                                    int32_t deviceIndex) {
    return api::guarded(
        -1, [&] { return media::thumbnail(MediaKind::Music, picture, key, secondKey, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_DeleteMusic(int32_t key, int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::deleteItem(MediaKind::Music, key, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearMusic(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::deleteAll(MediaKind::Music, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportMusicfromDevice(int32_t songid, const char* pcfilename,
                                                            int64_t filesize, int32_t deviceIndex) {
    return api::guarded(
        -1, [&] { return media::downloadFile(MediaKind::Music, songid, pcfilename, filesize, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportMusicfromDevice2(int32_t songid, const char* pcfilename,
                                                             int64_t filesize, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        return media::downloadOverChannel(MediaKind::Music, songid, pcfilename, filesize, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_TransferMusicfromDevice(int32_t songid, const char* device_filename,
                                                              int64_t filesize, int32_t src_deviceindex,
                                                              int32_t des_deviceindex) {
    return api::guarded(-1, [&] {
        return media::transferBetweenPhones(MediaKind::Music, songid, device_filename, filesize,
                                            src_deviceindex, des_deviceindex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicAbort(void) { return media::requestAbort(MediaKind::Music); }

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicProgress(void) {
    return media::transferState(MediaKind::Music).progress.load();
}

ZENTRO_API int64_t ZENTRO_CALL Zentro_GetMusicProgressSize(void) {
    return media::transferState(MediaKind::Music).transferred.load();
}

// ---- videos ----

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesVideo(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::refreshList(MediaKind::Video, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetVideoCount(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::itemCount(MediaKind::Video, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetVideoInfo(VideoInfo* info, int32_t position, int32_t deviceIndex) {
    return api::guarded(-1,
                        [&] { return media::itemDetails(MediaKind::Video, info, position, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_DeleteVideofromDevice(int32_t key, int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::deleteItem(MediaKind::Video, key, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearVideofromDevice(int32_t deviceIndex) {
    return api::guarded(0, [&] { return media::deleteAll(MediaKind::Video, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportVideofromDevice(int32_t videoid, const char* pcfilename,
                                                            int64_t filesize, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        return media::downloadFile(MediaKind::Video, videoid, pcfilename, filesize, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportVideofromDevice2(int32_t videoid, const char* pcfilename,
                                                             int64_t filesize, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        return media::downloadOverChannel(MediaKind::Video, videoid, pcfilename, filesize, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_TransferVideofromDevice(int32_t videoid, const char* device_filename,
                                                              int64_t filesize, int32_t src_deviceindex,
                                                              int32_t des_deviceindex) {
    return api::guarded(-1, [&] {
        return media::transferBetweenPhones(MediaKind::Video, videoid, device_filename, filesize,
                                            src_deviceindex, des_deviceindex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoAbort(void) { return media::requestAbort(MediaKind::Video); }

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetVideoProgress(void) {
    return media::transferState(MediaKind::Video).progress.load();
}

ZENTRO_API int64_t ZENTRO_CALL Zentro_GetVideoProgressSize(void) {
    return media::transferState(MediaKind::Video).transferred.load();
}

} // extern "C"
