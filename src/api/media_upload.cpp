// Exports that put files on a phone: uploads, the streamed file channel (single steps of a
// transfer driven by the host with its own buffers) and the session markers.
#include "zentrolink.h"

#include "api/guard.h"
#include "media/session_markers.h"
#include "media/transfer.h"
#include "media/upload.h"
#include "media/write_session.h"

using namespace zentro;
using media::MediaKind;

namespace {

int32_t uploadByRoute(MediaKind kind, const char* pcFile, const char* deviceFileName, int32_t deviceIndex) {
    return api::guarded(-1, [&] { return media::uploadFile(kind, pcFile, deviceFileName, deviceIndex); });
}

int32_t uploadByChannel(MediaKind kind, const char* pcFile, const char* deviceFileName, int32_t deviceIndex) {
    return api::guarded(-1,
                        [&] { return media::uploadOverChannel(kind, pcFile, deviceFileName, deviceIndex); });
}

int32_t streamOpen(MediaKind kind, const char* deviceFileName, int32_t deviceIndex) {
    return api::guarded(0, [&] {
        return deviceFileName != nullptr ? media::openSession(kind, deviceFileName, deviceIndex) : 0;
    });
}

int32_t streamWrite(MediaKind kind, const void* bytes, int32_t count, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        return count < 0 || (bytes == nullptr && count > 0)
                   ? -1
                   : media::writeSession(kind, bytes, count, deviceIndex);
    });
}

int32_t streamRead(MediaKind kind, void* buffer, int32_t count, int32_t id, int64_t offset,
                   int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        return buffer == nullptr || count <= 0
                   ? -1
                   : media::readChunk(kind, id, offset, count, static_cast<char*>(buffer), deviceIndex);
    });
}

int32_t streamClose(MediaKind kind, int32_t abandoned, const char* deviceFileName, int32_t deviceIndex) {
    api::guarded(0, [&] {
        media::finishSession(kind, deviceFileName, abandoned != 0, deviceIndex);
        return 0;
    });
    return 0;
}

template <typename Body>
void guardedVoid(Body&& body) noexcept {
    api::guarded(0, [&] {
        body();
        return 0;
    });
}

} // namespace

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_addPhoto(const char* pcfilename, const char* device_filename,
                                               int32_t deviceIndex) {
    return uploadByRoute(MediaKind::Photo, pcfilename, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_addPhoto2(const char* pcfilename, const char* device_filename,
                                                int32_t deviceIndex) {
    return uploadByChannel(MediaKind::Photo, pcfilename, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddMusicToDevice(const char* pcfilename, const char* device_filename,
                                                       int32_t deviceIndex) {
    return uploadByRoute(MediaKind::Music, pcfilename, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddMusicToDevice2(const char* pcfilename, const char* device_filename,
                                                        int32_t deviceIndex) {
    return uploadByChannel(MediaKind::Music, pcfilename, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddVideoToDevice(const char* pcfilename, const char* device_filename,
                                                       int32_t deviceIndex) {
    return uploadByRoute(MediaKind::Video, pcfilename, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddVideoToDevice2(const char* pcfilename, const char* device_filename,
                                                        int32_t deviceIndex) {
    return uploadByChannel(MediaKind::Video, pcfilename, device_filename, deviceIndex);
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoOpen(const char* device_filename, int32_t deviceIndex) {
    return streamOpen(MediaKind::Photo, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoWrite(const void* bytes, int32_t count, int32_t deviceIndex) {
    return streamWrite(MediaKind::Photo, bytes, count, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoRead(void* buffer, int32_t count, int32_t photo_id, int64_t offset,
                                                int32_t deviceIndex) {
    return streamRead(MediaKind::Photo, buffer, count, photo_id, offset, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoClose(int32_t abandoned, const char* device_filename,
                                                 int32_t deviceIndex) {
    return streamClose(MediaKind::Photo, abandoned, device_filename, deviceIndex);
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicOpen(const char* device_filename, int32_t deviceIndex) {
    return streamOpen(MediaKind::Music, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicWrite(const void* bytes, int32_t count, int32_t deviceIndex) {
    return streamWrite(MediaKind::Music, bytes, count, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicRead(void* buffer, int32_t count, int32_t songid, int64_t offset,
                                                int32_t deviceIndex) {
    return streamRead(MediaKind::Music, buffer, count, songid, offset, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicClose(int32_t abandoned, const char* device_filename,
                                                 int32_t deviceIndex) {
    return streamClose(MediaKind::Music, abandoned, device_filename, deviceIndex);
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoOpen(const char* device_filename, int32_t deviceIndex) {
    return streamOpen(MediaKind::Video, device_filename, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoWrite(const void* bytes, int32_t count, int32_t deviceIndex) {
    return streamWrite(MediaKind::Video, bytes, count, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoRead(void* buffer, int32_t count, int32_t videoid, int64_t offset,
                                                int32_t deviceIndex) {
    return streamRead(MediaKind::Video, buffer, count, videoid, offset, deviceIndex);
}
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoClose(int32_t abandoned, const char* device_filename,
                                                 int32_t deviceIndex) {
    return streamClose(MediaKind::Video, abandoned, device_filename, deviceIndex);
}

ZENTRO_API void ZENTRO_CALL Zentro_sync_zentrolink_Start(void) {
    guardedVoid([] { media::relayMarker("sync_zentrolink_Start;"); });
}
ZENTRO_API void ZENTRO_CALL Zentro_sync_zentrolink_Update(const char* text, int32_t number) {
    guardedVoid([&] { media::relayUpdateMarker(text, number); });
}
ZENTRO_API void ZENTRO_CALL Zentro_sync_zentrolink_End(void) {
    guardedVoid([] { media::relayMarker("sync_zentrolink_End;"); });
}

} // extern "C"
