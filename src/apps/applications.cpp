#include "apps/applications.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "bridge/adb_runner.h"
#include "core/log.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "link/integer_reply.h"
#include "link/reply_grammar.h"

namespace zentro::apps {
namespace {

using namespace link;

constexpr size_t kAppTextMaximum = 254;
constexpr int32_t kAppReplySize = 1024;
constexpr size_t kArgumentSize = 1024;

// Text values are cut to 254 bytes, and further to the field with its zero byte.
template <auto Member>
void storeAppText(AppInfoRecord& record, const char* value, size_t length) {
    storeText<Member>(record, value, length < kAppTextMaximum ? length : kAppTextMaximum);
}

// "CACHSEZE" is spelled so on the wire.
constexpr FieldRule<AppInfoRecord> kAppFields[] = {
    {"PKG", storeAppText<&AppInfoRecord::packageName>},
    {"CLS", storeAppText<&AppInfoRecord::className>},
    {"APPNAME", storeAppText<&AppInfoRecord::label>},
    {"VERSION", storeAppText<&AppInfoRecord::versionName>},
    {"VERSIONCODE", storeInt32<&AppInfoRecord::versionCode>},
    {"SYSTEMAPP", storeInt32<&AppInfoRecord::systemApp>},
    {"SDCARDAPP", storeInt32<&AppInfoRecord::onSdCard>},
    {"CACHSEZE", storeInt32<&AppInfoRecord::cacheSize>},
    {"DATASIZE", storeInt32<&AppInfoRecord::dataSize>},
    {"CODESIZE", storeInt32<&AppInfoRecord::codeSize>},
    {"TOTALSIZE", storeInt32<&AppInfoRecord::totalSize>},
    {"INSTALLTIME", storeInt64<&AppInfoRecord::installTime>},
    {"LASTUPDATETIME", storeInt64<&AppInfoRecord::lastUpdateTime>},
    {"PERMISSIONS", storeAppText<&AppInfoRecord::permissions>},
};

// The install options of modes 1 to 5.
const char* const kInstallOptions[] = {"-l ", "-r ", "-s ", "", "-r -s "};

bool onWifi(const core::DeviceEntry* entry) {
    return entry != nullptr && entry->connectionKind == core::kConnectionWifi;
}

// Formats the adb arguments; false when they would be cut here or in the command line.
bool formatArguments(char (&out)[kArgumentSize], const char* format, ...)
    __attribute__((format(printf, 2, 3)));
bool formatArguments(char (&out)[kArgumentSize], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(out, sizeof out, format, args);
    va_end(args);
    return written >= 0 && static_cast<size_t>(written) < sizeof out && bridge::adbArgumentsFit(out);
}

} // namespace

int32_t refreshAppList(int32_t deviceIndex) { return sendForInteger("flushapplist;", deviceIndex); }

int32_t appCount(int32_t deviceIndex) { return sendForInteger("getappcount;", deviceIndex); }

int32_t appInfo(AppInfoRecord* record, int32_t index, int32_t deviceIndex) {
    if (record == nullptr) return -1;
    char command[256];
    std::snprintf(command, sizeof command, "getappindexinfo:%d;", index);
    char reply[kAppReplySize] = {};
    std::memset(static_cast<void*>(record), 0, sizeof *record);
    const int received = sendCommand(command, reply, kAppReplySize, nullptr, 0, deviceIndex);
    reply[kAppReplySize - 1] = '\0';
    if (received <= 0 || reply[0] == '\0') return -1;
    parseFirstRecord<AppInfoRecord>(reply, kAppFields, *record);
    return 0;
}

int32_t installPackage(const char* packagePath, int32_t mode, int32_t deviceIndex) {
    const core::DeviceEntry* entry = core::deviceRow(deviceIndex);
    if (onWifi(entry)) return 0;
    if (entry == nullptr || mode < 1 || mode > 5 || packagePath == nullptr ||
        !bridge::plainAdbWord(entry->serial, "serial of install") ||
        !bridge::quotableAdbText(packagePath, "package file to install")) {
        return -1;
    }
    char args[kArgumentSize] = {};
    if (!formatArguments(args, "-s %s install %s\"%s\"", entry->serial, kInstallOptions[mode - 1],
                         packagePath)) {
        return -1;
    }
    return bridge::runAdb(args);
}

int32_t uninstallPackage(const char* packageName, int32_t mode, int32_t deviceIndex) {
    const core::DeviceEntry* entry = core::deviceRow(deviceIndex);
    if (entry == nullptr || onWifi(entry) || packageName == nullptr ||
        !bridge::plainAdbWord(entry->serial, "serial of uninstall") ||
        !bridge::plainAdbWord(packageName, "package name to uninstall")) {
        return -1;
    }
    char args[kArgumentSize] = {};
    bool fits = false;
    if (mode == 1) {
        fits = formatArguments(args, "-s %s uninstall %s", entry->serial, packageName);
    } else if (mode == 2) {
        fits = formatArguments(args, "-s %s uninstall -k %s", entry->serial, packageName);
    }
    return fits ? bridge::runAdb(args) : -1;
}

int32_t exportPackage(const char* packageName, const char* outputPath, int32_t deviceIndex) {
    const core::DeviceEntry* entry = core::deviceRow(deviceIndex);
    if (entry == nullptr || onWifi(entry) || packageName == nullptr || outputPath == nullptr) return -1;
    core::log(0, "ExportApp pkgname=%s,outfilename=%s\n", packageName, outputPath);
    if (!bridge::plainAdbWord(entry->serial, "serial of export") ||
        !bridge::plainAdbWord(packageName, "package name to export") ||
        !bridge::bareAdbText(outputPath, "export path")) {
        return -1;
    }
    char args[kArgumentSize] = {};
    if (!formatArguments(args, "-s %s pull /data/app/%s-1.apk %s", entry->serial, packageName, outputPath)) {
        return -1;
    }
    return bridge::runAdb(args);
}

int32_t moveApp() { return -1; }

} // namespace zentro::apps
