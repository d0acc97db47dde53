// The host reads these records by offset: their layout is part of the binary interface. The
// pointer-sized records match only on 32-bit builds, which is what ships.
#include <cstddef>

#include "zentrolink.h"

static_assert(sizeof(DeviceInfoRecord) == 436);
static_assert(offsetof(DeviceInfoRecord, serial) == 128);
static_assert(offsetof(DeviceInfoRecord, model) == 192);
static_assert(offsetof(DeviceInfoRecord, androidVersion) == 256);
static_assert(offsetof(DeviceInfoRecord, memTotal) == 384);
static_assert(offsetof(DeviceInfoRecord, memAvail) == 392);
static_assert(offsetof(DeviceInfoRecord, reserved) == 400);
static_assert(offsetof(DeviceInfoRecord, phoneStorageTotal) == 404);
static_assert(offsetof(DeviceInfoRecord, phoneStorageAvail) == 412);
static_assert(offsetof(DeviceInfoRecord, sdStorageTotal) == 420);
static_assert(offsetof(DeviceInfoRecord, sdStorageAvail) == 428);

static_assert(sizeof(AppInfoRecord) == 1200);
static_assert(offsetof(AppInfoRecord, packageName) == 4);
static_assert(offsetof(AppInfoRecord, versionCode) == 1028);
static_assert(offsetof(AppInfoRecord, installTime) == 1056);
static_assert(offsetof(AppInfoRecord, permissions) == 1072);

static_assert(sizeof(PhotoInfo) == 1308);
static_assert(offsetof(PhotoInfo, path) == 260);
static_assert(offsetof(PhotoInfo, size) == 1284);

static_assert(sizeof(MusicInfo) == 1832);
static_assert(offsetof(MusicInfo, albumId) == 4);
static_assert(offsetof(MusicInfo, title) == 8);
static_assert(offsetof(MusicInfo, duration) == 1800);

static_assert(sizeof(VideoInfo) == 1572);
static_assert(offsetof(VideoInfo, displayName) == 260);
static_assert(offsetof(VideoInfo, duration) == 1540);

constexpr bool k32Bit = sizeof(void*) == 4;
static_assert(!k32Bit || sizeof(SmsRecord) == 48);
static_assert(!k32Bit || offsetof(SmsRecord, next) == 44);
static_assert(!k32Bit || sizeof(CallHistoryRecord) == 40);
static_assert(!k32Bit || offsetof(CallHistoryRecord, next) == 36);
static_assert(!k32Bit || sizeof(CalenderRecord) == 56);
static_assert(!k32Bit || offsetof(CalenderRecord, next) == 52);
static_assert(!k32Bit || sizeof(PersonRecord) == 96);
static_assert(!k32Bit || offsetof(PersonRecord, next) == 92);
static_assert(!k32Bit || sizeof(TempGroupMember) == 8);
static_assert(!k32Bit || offsetof(SmsTempGroup, latestDate) == 8);
static_assert(!k32Bit || offsetof(SmsTempGroup, next) == 16);
static_assert(!k32Bit || sizeof(CallLogTempGroup) == 12);
