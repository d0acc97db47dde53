// devices, info, prepare, screenshot.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "adb_server.h"
#include "cli.h"
#include "commands/commands.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "progress.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;

// Property values arrive with the phone's line end behind them.
std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

struct PhoneRow {
    int index;
    std::string serial, state, maker, model, android;
};

std::vector<PhoneRow> listPhones() {
    AdbServerView server = queryAdbServer();
    std::vector<PhoneRow> rows;
    if (server.running && server.devices.empty()) return rows; // asking would restart the server
    startLibrary();
    const int first = Zentro_CheckDeviceDetected(0);
    if (first == -5) return rows;
    // The first look stands unless the detection had to start the server.
    if (!server.running) server = queryAdbServer();
    for (int index = 0; index < 10 && static_cast<size_t>(index) < server.devices.size(); ++index) {
        DeviceInfoRecord info{};
        Zentro_GetAndroidDevicesInfo(&info, index);
        PhoneRow row{index, info.serial, "", "", "", ""};
        if (row.serial.empty()) break;
        for (const AdbDevice& device : server.devices) {
            if (device.serial == row.serial) row.state = device.state;
        }
        // Only a listed, usable phone is detected: any other answer makes the library restart
        // the adb server under every other adb user.
        if (row.state == "device" && (index == 0 ? first == 0 : Zentro_CheckDeviceDetected(index) == 0)) {
            Zentro_GetAndroidDevicesInfo(&info, index);
            row.maker = trimmed(info.brand);
            row.model = trimmed(info.model);
            row.android = trimmed(info.androidVersion);
        }
        rows.push_back(row);
    }
    return rows;
}

void printPhones(const std::vector<PhoneRow>& rows) {
    if (options().json) {
        json out = json::array();
        for (const PhoneRow& r : rows) {
            out.push_back({{"index", r.index},
                           {"serial", r.serial},
                           {"state", r.state},
                           {"maker", r.maker},
                           {"model", r.model},
                           {"android", r.android}});
        }
        std::printf("%s\n", jsonText(out, 2).c_str());
        return;
    }
    if (rows.empty()) {
        std::printf("no phones\n");
        return;
    }
    std::printf("%-5s %-20s %-12s %-14s %-24s %s\n", "INDEX", "SERIAL", "STATE", "MAKER", "MODEL", "ANDROID");
    for (const PhoneRow& r : rows) {
        std::printf("%-5d %-20s %-12s %-14s %-24s %s\n", r.index, terminalSafe(r.serial).c_str(),
                    terminalSafe(r.state).c_str(), terminalSafe(r.maker).c_str(),
                    terminalSafe(r.model).c_str(), terminalSafe(r.android).c_str());
    }
}

// Runs on the library's watcher thread, which has just counted the USB phones again.
void onUsbChange(int32_t value) {
    const char* event = value == ZENTRO_USB_ARRIVAL   ? "arrival"
                        : value == ZENTRO_USB_REMOVAL ? "removal"
                                                      : "change";
    const int32_t plugged = Zentro_CheckConnectDeviceToPC_Count();
    if (options().json)
        std::printf("%s\n", jsonText({{"event", event}, {"phones", plugged}}).c_str());
    else
        std::printf("usb %s: %d phone%s plugged in\n", event, plugged, plugged == 1 ? "" : "s");
    std::fflush(stdout);
}

void devicesCommand(bool watch) {
    printPhones(listPhones());
    if (!watch) return;
    std::fflush(stdout);
    startLibrary();
    Zentro_SetUSBCallBack(onUsbChange);
    std::fprintf(stderr, "watching USB arrivals and removals; Ctrl-C ends\n");
    while (!interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Zentro_SetUSBCallBack(nullptr);
    forgetInterrupt(); // Ctrl-C is how watching ends, not a failure
}

void infoCommand() {
    requirePhone();
    DeviceInfoRecord info{};
    Zentro_GetAndroidDevicesInfo(&info, options().device);
    const json out = {{"index", options().device},
                      {"serial", info.serial},
                      {"maker", trimmed(info.brand)},
                      {"model", trimmed(info.model)},
                      {"android", trimmed(info.androidVersion)},
                      {"prepared", Zentro_CheckDevicesIsConnect(options().device) == 0 && ownsChannelPort()}};
    if (options().json) {
        std::printf("%s\n", jsonText(out, 2).c_str());
        return;
    }
    for (const auto& [key, value] : out.items()) {
        std::printf("%-9s %s\n", (key + ":").c_str(),
                    terminalSafe(value.is_string() ? value.get<std::string>() : value.dump()).c_str());
    }
}

void prepareCommand() {
    requirePhone();
    Progress progress("preparing", "%");
    const int64_t result =
        watchWork(
            progress, [] { return Zentro_ReadyTodoing(options().device); },
            [] { return std::pair<int64_t, int64_t>(Zentro_GetReadyTodoProgress(), 100); }, nullptr)
            .result;
    progress.finish(result == 0 ? "done" : "failed");
    if (result != 0) {
        throw Failure(
            "preparing the phone stopped at " + std::to_string(Zentro_GetReadyTodoProgress()) +
            "%: unlock the phone, accept the install prompt if one shows, and try again (details in " +
            logLocation() + ")");
    }
    requireOwnChannel();
    if (!options().json) std::printf("phone %d is prepared\n", options().device);
}

// The PNG goes to a name of its own beside the target and is renamed once complete, so a failed
// capture never costs the file that was there. A folder gets "screenshot.png" inside (numbered
// when taken); an existing file is replaced only with --force.
void screenshotCommand(const std::string& name, bool force) {
    namespace fs = std::filesystem;
    std::error_code error;
    // adb runs from the library's own folder: a relative name would land there.
    std::string file = name.empty() ? freePathIn(fs::current_path(error).string(), "screenshot.png")
                                    : fs::absolute(name, error).lexically_normal().string();
    if (fs::is_directory(file, error)) {
        file = freePathIn(file, "screenshot.png");
    } else if (fs::exists(fs::symlink_status(file, error)) && !force) {
        throw Failure(file + " exists: add --force to replace it, or name another file", kExitUsage);
    }
    requirePhone();
    const fs::path target(file);
    const std::string partial =
        freePathIn(target.parent_path().string(), "." + target.filename().string() + ".partial");
    Zentro_GetAndroidDevicesScreenCap(partial.c_str(), options().device);
    if (!fs::is_regular_file(partial, error) || fs::file_size(partial, error) == 0) {
        fs::remove(partial, error);
        throw Failure("no screenshot arrived: is the phone's screen on?");
    }
    fs::rename(partial, file, error);
    if (error) {
        fs::remove(partial, error);
        throw Failure("cannot write " + file + ": check the folder is writable");
    }
    const auto bytes = fs::file_size(file, error);
    if (options().json) {
        std::printf("%s\n", jsonText({{"file", file}, {"bytes", bytes}}).c_str());
    } else {
        std::printf("%s (%s)\n", terminalSafe(file).c_str(), formatBytes(static_cast<double>(bytes)).c_str());
    }
}

} // namespace

void addDeviceCommands(CLI::App& app) {
    auto* devices = app.add_subcommand("devices", "List the phones adb sees, with maker, model and release");
    static bool watch = false;
    devices->add_flag("--watch", watch, "Then print USB arrivals and removals until Ctrl-C");
    devices->callback([] { devicesCommand(watch); });

    app.add_subcommand("info", "Show one phone's maker, model, release and whether it is prepared")
        ->callback(infoCommand);

    app.add_subcommand("prepare", "Install and start the companion app on the phone, with progress")
        ->callback(prepareCommand);

    auto* screenshot = app.add_subcommand("screenshot", "Save the phone's screen as a PNG file");
    static std::string file;
    static bool force = false;
    screenshot->add_option(
        "FILE", file,
        "File or folder to write the PNG to (default: screenshot.png here, numbered when taken)");
    screenshot->add_flag("--force", force, "Replace FILE when it exists");
    screenshot->callback([] { screenshotCommand(file, force); });
}

} // namespace zentro::cli
