// pair: the QR image a phone scans to join over WiFi, drawn in the terminal too, and the wait
// for the phone to register.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "commands/commands.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;

constexpr int kPixelsPerModule = 8; // as the library draws its image
constexpr int kQuietZone = 2;       // light modules around the drawing; scanners want a margin

std::atomic<int> g_joined{0};

void onWifiJoin(int32_t) { g_joined.fetch_add(1); }

// The modules of the library's bitmap, read back at the centre of each 8 x 8 block (true: dark).
// Empty when the file is not a 24-bit top-down bitmap of whole modules.
std::vector<std::vector<bool>> readModules(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto at32 = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bmp[at + i]);
        return static_cast<int32_t>(v);
    };
    if (bmp.size() < 54 || bmp.compare(0, 2, "BM") != 0) return {};
    const int32_t side = at32(18);
    if (side <= 0 || side % kPixelsPerModule != 0 || at32(22) != -side ||
        bmp.size() < 54 + static_cast<size_t>(side) * side * 3) {
        return {};
    }
    const int width = side / kPixelsPerModule;
    std::vector<std::vector<bool>> modules(width, std::vector<bool>(width));
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t px = static_cast<size_t>(y * kPixelsPerModule + kPixelsPerModule / 2) * side +
                              x * kPixelsPerModule + kPixelsPerModule / 2;
            modules[y][x] = static_cast<unsigned char>(bmp[54 + px * 3 + 1]) < 200; // green of dark: 132
        }
    }
    return modules;
}

// Two module rows per text line with half blocks; dark modules in the foreground colour, on a
// terminal forced to black on white so the code scans on dark themes too.
void drawModules(const std::vector<std::vector<bool>>& modules) {
    const bool terminal = ::isatty(1) != 0;
    const int width = static_cast<int>(modules.size());
    auto dark = [&](int y, int x) {
        y -= kQuietZone;
        x -= kQuietZone;
        return y >= 0 && x >= 0 && y < width && x < width && modules[y][x];
    };
    const int side = width + 2 * kQuietZone;
    for (int y = 0; y < side; y += 2) {
        std::string line = terminal ? "\x1b[30;47m" : "";
        for (int x = 0; x < side; ++x) {
            const bool top = dark(y, x);
            const bool bottom = y + 1 < side && dark(y + 1, x);
            line += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        if (terminal) line += "\x1b[0m";
        std::printf("%s\n", line.c_str());
    }
}

struct Row {
    std::string serial, maker, model, android;
};

Row rowAt(int index) {
    DeviceInfoRecord info{};
    Zentro_GetAndroidDevicesInfo(&info, index);
    return {info.serial, info.brand, info.model, info.androidVersion};
}

// The library reports a file it cannot write on standard output, with no line end; the
// refusal below says it whole, so that text goes to standard error only with -v.
bool writeQrImage(const std::string& file) {
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int sink = options().verbose ? ::dup(2) : ::open("/dev/null", O_WRONLY);
    if (saved >= 0 && sink >= 0) ::dup2(sink, 1);
    const int32_t result = Zentro_GetPCQRGeneratorImage(file.c_str(), 0);
    std::fflush(stdout);
    if (saved >= 0) {
        ::dup2(saved, 1);
        ::close(saved);
    }
    if (sink >= 0) ::close(sink);
    if (options().verbose) std::fputc('\n', stderr);
    return result == 0;
}

void pairCommand(const std::string& file, int timeoutSeconds) {
    const std::filesystem::path folder = std::filesystem::absolute(file).parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        throw Failure("cannot write the QR image to " + file + ": there is no folder " + folder.string(),
                      kExitUsage);
    startLibrary();
    // A joining phone takes index 0 or 1; the one whose row changes is the new one.
    const Row before[2] = {rowAt(0), rowAt(1)};
    Zentro_SetWiFiConnectCallBack(onWifiJoin);
    std::filesystem::remove(file, error);
    if (!writeQrImage(file)) {
        throw Failure("the pairing server could not be made: the computer is short of memory");
    }
    const auto modules = readModules(file);
    if (modules.empty())
        throw Failure("no QR image could be written to " + file + ": choose a writable place");
    if (!options().json) {
        drawModules(modules);
        std::printf("Scan this code with the companion app on the phone (image: %s).\n"
                    "The phone must reach this computer's address on the local network; Ctrl-C ends.\n",
                    file.c_str());
        std::fflush(stdout);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (g_joined.load() == 0 && !interrupted()) {
        if (timeoutSeconds > 0 && std::chrono::steady_clock::now() >= deadline) {
            Zentro_SetWiFiConnectCallBack(nullptr);
            throw Failure("no phone joined within " + std::to_string(timeoutSeconds) +
                          " s: check that phone and computer share a network and that no firewall blocks "
                          "port 20166 and the few ports above it");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Zentro_SetWiFiConnectCallBack(nullptr);
    if (g_joined.load() == 0) return; // interrupted

    int index = 0;
    Row joined = rowAt(0);
    const Row second = rowAt(1);
    if (second.serial != before[1].serial && joined.serial == before[0].serial) {
        index = 1;
        joined = second;
    }
    if (options().json) {
        std::printf("%s\n", jsonText({{"image", file},
                                      {"joined",
                                       {{"index", index},
                                        {"serial", joined.serial},
                                        {"maker", joined.maker},
                                        {"model", joined.model},
                                        {"android", joined.android}}}},
                                     2)
                                .c_str());
    } else {
        std::printf("phone joined over WiFi: index %d, %s %s (Android %s), serial %s\n", index,
                    terminalSafe(joined.maker).c_str(), terminalSafe(joined.model).c_str(),
                    terminalSafe(joined.android).c_str(), terminalSafe(joined.serial).c_str());
    }
}

} // namespace

void addPairCommands(CLI::App& app) {
    auto* pair = app.add_subcommand(
        "pair", "Show a QR code for the companion app and wait for a phone to join over WiFi");
    static std::string file = "pair.bmp";
    static int timeoutSeconds = 0;
    pair->add_option("FILE", file, "Where to write the QR image (a bitmap)")->capture_default_str();
    pair->add_option("--timeout", timeoutSeconds, "Give up after this many seconds (0: wait until Ctrl-C)")
        ->check(CLI::Validator(
            [](const std::string& value) {
                // The parsed number is checked: text such as "1e9" or "-0" must not slip by.
                int seconds = -1;
                return CLI::detail::lexical_cast(value, seconds) && seconds >= 0 && seconds <= 86400
                           ? std::string()
                           : "give whole seconds from 0 (wait until Ctrl-C) to 86400 (a day), not " + value;
            },
            "SECONDS"))
        ->capture_default_str();
    pair->callback([] { pairCommand(absolutePath(file), timeoutSeconds); });
}

} // namespace zentro::cli
