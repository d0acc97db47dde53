// apps: list through the companion; install, uninstall and export through adb.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "commands.h"
#include "interrupt.h"
#include "safe_text.h"
#include "zentrolink.h"

namespace zentro::cli {

using json = nlohmann::ordered_json;

std::vector<json> readApps() {
    requirePreparedPhone();
    const int32_t device = options().device;
    Zentro_FlushDevicesApp(device);
    const int32_t count = Zentro_GetAppCount(device);
    std::vector<json> apps;
    for (int32_t index = 0; index < count && !interrupted(); ++index) {
        AppInfoRecord a{};
        if (Zentro_GetAppInfo(&a, index, device) != 0) continue;
        apps.push_back({{"package", a.packageName},
                        {"label", a.label},
                        {"className", a.className},
                        {"version", a.versionName},
                        {"versionCode", a.versionCode},
                        {"system", a.systemApp != 0},
                        {"onSdCard", a.onSdCard != 0},
                        {"codeSize", a.codeSize},
                        {"dataSize", a.dataSize},
                        {"cacheSize", a.cacheSize},
                        {"totalSize", a.totalSize},
                        {"installTime", a.installTime},
                        {"updateTime", a.lastUpdateTime}});
    }
    if (interrupted())
        throw Failure("listing applications was interrupted; nothing printed", kExitInterrupted);
    return apps;
}

namespace {

bool listed(const std::string& package) {
    for (const json& app : readApps()) {
        if (app["package"] == package) return true;
    }
    return false;
}

void listCommand(bool includeSystem) {
    std::vector<json> apps = readApps();
    json out = json::array();
    for (json& app : apps) {
        if (includeSystem || !app["system"].get<bool>()) out.push_back(std::move(app));
    }
    if (options().json) {
        std::printf("%s\n", jsonText(out, 2).c_str());
        return;
    }
    std::printf("%-40s %-16s %s\n", "PACKAGE", "VERSION", "LABEL");
    for (const json& app : out) {
        std::printf("%-40s %-16s %s\n", terminalSafe(app["package"].get<std::string>()).c_str(),
                    terminalSafe(app["version"].get<std::string>()).c_str(),
                    terminalSafe(app["label"].get<std::string>()).c_str());
    }
    std::fprintf(stderr, "%zu applications%s\n", out.size(), includeSystem ? "" : " (--system for all)");
}

void reportDone(const std::string& message, const json& fields) {
    if (options().json)
        std::printf("%s\n", jsonText(fields).c_str());
    else
        std::printf("%s\n", message.c_str());
}

void installCommand(const std::string& file, bool replace, bool sdCard) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Failure("no package file '" + file + "'", kExitUsage);
    requirePhone();
    // The library's install modes: 2 "-r", 3 "-s", 4 plain, 5 "-r -s".
    const int32_t mode = replace ? (sdCard ? 5 : 2) : (sdCard ? 3 : 4);
    if (Zentro_InstallAppToMemory(file.c_str(), mode, options().device) != 0)
        throw Failure("adb could not install '" + file + "' (a double quote in the path is not allowed)");
    // adb's own verdict does not come back through the library; 'apps list' shows the outcome.
    reportDone("install of " + file + " handed to adb; 'zentro apps list' shows the result",
               {{"file", file}, {"mode", mode}});
}

void uninstallCommand(const std::string& package, bool keepData) {
    requirePreparedPhone();
    if (!listed(package))
        throw Failure("no application " + package + " on the phone (see 'zentro apps list')");
    if (Zentro_UnInstallApp(package.c_str(), keepData ? 2 : 1, options().device) != 0)
        throw Failure("adb could not run, or the phone is joined over WiFi (uninstalling needs USB)");
    if (listed(package)) throw Failure(package + " is still installed: the phone refused to remove it");
    reportDone("uninstalled " + package, {{"package", package}, {"keptData", keepData}});
}

void exportCommand(const std::string& package, std::string file) {
    if (file.empty()) file = package + ".apk";
    requirePhone();
    // adb writes the file itself: remove nothing the user had, and tell a pulled file by its size.
    struct stat before {};
    const bool existed = ::stat(file.c_str(), &before) == 0;
    if (existed) throw Failure(file + " exists: remove it or give another file name", kExitUsage);
    if (Zentro_ExportApp(package.c_str(), file.c_str(), options().device) != 0)
        throw Failure("adb could not run, or the phone is joined over WiFi (exporting needs USB)");
    struct stat after {};
    if (::stat(file.c_str(), &after) != 0 || after.st_size == 0) {
        throw Failure("no package file arrived for " + package +
                      ": is it installed? (see 'zentro apps list')");
    }
    reportDone(file + " (" + std::to_string(after.st_size) + " bytes)",
               {{"package", package}, {"file", file}, {"bytes", after.st_size}});
}

} // namespace

void addAppCommands(CLI::App& app) {
    auto* apps = app.add_subcommand("apps", "Applications: list, install, uninstall, export");
    apps->require_subcommand(1);

    auto* list = apps->add_subcommand("list", "List the user's applications (--system for all)");
    static bool system = false;
    list->add_flag("--system", system, "Include the phone's system applications");
    list->callback([] { listCommand(system); });

    auto* install = apps->add_subcommand("install", "Install a package file on the phone with adb");
    static std::string file;
    static bool replace = false, sdCard = false;
    install->add_option("FILE", file, "Package file (.apk)")->required();
    install->add_flag("-r,--replace", replace, "Reinstall, keeping the application's data");
    install->add_flag("--sd-card", sdCard, "Install to the SD card");
    install->callback([] { installCommand(file, replace, sdCard); });

    auto* uninstall = apps->add_subcommand("uninstall", "Remove an application from the phone");
    static std::string package;
    static bool keepData = false;
    uninstall->add_option("PACKAGE", package, "Package name, as 'apps list' shows it")->required();
    uninstall->add_flag("-k,--keep-data", keepData, "Keep the application's data and cache");
    uninstall->callback([] { uninstallCommand(package, keepData); });

    auto* exporter = apps->add_subcommand("export", "Copy an application's package file to this computer");
    static std::string exportPackage, output;
    exporter->add_option("PACKAGE", exportPackage, "Package name")->required();
    exporter->add_option("FILE", output, "Where to write it (default: PACKAGE.apk)");
    exporter->callback([] { exportCommand(exportPackage, output); });
}

} // namespace zentro::cli
