// apps: list through the companion; install, uninstall and export through adb.
#include <sys/stat.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "adb_server.h"
#include "cli.h"
#include "commands/commands.h"
#include "formats/dates.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "progress.h"
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
        for (json& app : out) { // the phone's milliseconds, and the moment they stand for
            for (const char* field : {"installTime", "updateTime"}) {
                const int64_t millis = app[field].get<int64_t>();
                app[std::string(field) + "Iso"] = millis > 0 ? json(isoLocalDate(millis)) : json(nullptr);
            }
        }
        std::printf("%s\n", jsonText(out, 2).c_str());
        return;
    }
    std::printf("%-40s %-16s %s\n", "PACKAGE", "VERSION", "LABEL");
    for (const json& app : out) {
        std::printf("%-40s %-16s %s\n", terminalSafe(app["package"].get<std::string>()).c_str(),
                    terminalSafe(app["version"].get<std::string>()).c_str(),
                    terminalSafe(app["label"].get<std::string>()).c_str());
    }
    std::fprintf(stderr, "%s%s\n", counted(static_cast<int64_t>(out.size()), "application").c_str(),
                 includeSystem ? "" : " (--system for all)");
}

// The last line adb printed, as its reason; adb's failures end in it.
std::string lastLine(const std::string& output) {
    std::string text = output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    const size_t start = text.rfind('\n');
    text = start == std::string::npos ? text : text.substr(start + 1);
    return text.empty() ? "adb gave no reason" : text;
}

void reportDone(const std::string& message, const json& fields) {
    if (options().json)
        std::printf("%s\n", jsonText(fields).c_str());
    else
        std::printf("%s\n", message.c_str());
}

// The packages the phone lists, through adb (the phone need not be prepared).
std::set<std::string> packagesOnPhone() {
    std::string output;
    const int status = runAdbClient({"-s", selectedSerial(), "shell", "pm", "list", "packages"}, output);
    if (status == kExitInterrupted) throw Failure("interrupted", kExitInterrupted);
    std::set<std::string> packages;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("package:", 0) == 0) packages.insert(line.substr(8));
    }
    if (status != 0 || packages.empty())
        throw Failure("adb could not list the phone's packages: " + lastLine(output));
    return packages;
}

// adb runs here rather than through the library's install, which keeps nothing of adb's
// output: the phone's reason ("Failure [INSTALL_FAILED_...]") is what the user needs.
void installCommand(std::string file, bool replace, bool sdCard) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Failure("no package file '" + file + "'", kExitUsage);
    file = absolutePath(file);
    requirePhone();
    const std::set<std::string> before = packagesOnPhone();
    std::vector<std::string> args = {"-s", selectedSerial(), "install"};
    if (replace) args.push_back("-r");
    if (sdCard) args.push_back("-s");
    args.push_back(file);
    std::string output;
    const int status = runAdbClient(args, output);
    if (status == kExitInterrupted)
        throw Failure("interrupted: the install may or may not have happened", status);
    if (status < 0) throw Failure("adb could not run: make sure '" + programFolder() + "/adb' exists");
    std::vector<std::string> added;
    for (const std::string& package : packagesOnPhone()) {
        if (before.count(package) == 0) added.push_back(package);
    }
    const size_t failure = output.find("Failure [");
    const bool said = failure == std::string::npos && output.find("Success") != std::string::npos;
    // A reinstall adds no package; then adb's own word is all there is.
    if (added.empty() && !(said && replace)) {
        const std::string reason = failure != std::string::npos
                                       ? output.substr(failure, output.find(']', failure) + 1 - failure)
                                       : lastLine(output);
        throw Failure("the phone did not install " + file + ": " + reason);
    }
    const std::string what = added.empty() ? "reinstalled" : "installed " + added.front();
    reportDone(what + " from " + file, {{"file", file}, {"installed", added}, {"replace", replace}});
}

// The library's companion: every command but devices and prepare talks through it.
constexpr const char* kCompanionPackage = "com.vantrey.pocketdesk";

void uninstallCommand(const std::string& package, bool keepData, bool force) {
    if (package == kCompanionPackage && !force) {
        throw Failure(package +
                          " is the companion app zentro reads the phone through; without it only 'devices' "
                          "and 'prepare' work. Add --force to remove it anyway",
                      kExitUsage);
    }
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
    file = absolutePath(file);
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
    static bool keepData = false, force = false;
    uninstall->add_option("PACKAGE", package, "Package name, as 'apps list' shows it")->required();
    uninstall->add_flag("-k,--keep-data", keepData, "Keep the application's data and cache");
    uninstall->add_flag("--force", force, "Also remove the companion app zentro works through");
    uninstall->callback([] { uninstallCommand(package, keepData, force); });

    auto* exporter = apps->add_subcommand("export", "Copy an application's package file to this computer");
    static std::string exportPackage, output;
    exporter->add_option("PACKAGE", exportPackage, "Package name")->required();
    exporter->add_option("FILE", output, "Where to write it (default: PACKAGE.apk in this folder)");
    exporter->callback([] { exportCommand(exportPackage, output); });
}

} // namespace zentro::cli
