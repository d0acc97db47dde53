// zentro: a command-line host of the library. It loads zentrolink like any host, so what it
// shows is what a host gets.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zentrolink.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#else
#include <unistd.h>
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: zentro [--help] <command> [options]\n"
                 "\n"
                 "commands:\n"
                 "  devices [--json]   list the phones adb sees, with maker, model and release\n"
                 "\n"
                 "The adb client beside this program is used; ANDROID_ADB_SERVER_PORT selects its\n"
                 "server. Exit status: 0 success, 1 failure, 2 usage error.\n");
}

std::string logLocation() {
#ifdef _WIN32
    return "%USERPROFILE%\\Documents\\LogFiles\\zentrolink.log";
#else
    const char* docs = std::getenv("XDG_DOCUMENTS_DIR");
    if (docs != nullptr && docs[0] != '\0') return std::string(docs) + "/LogFiles/zentrolink.log";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "~") + "/Documents/LogFiles/zentrolink.log";
#endif
}

std::string jsonText(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
            out += escaped;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

// Blanks the library keeps behind property values are not part of the value.
std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// The library announces its work-folder clean-up on standard output; scripts reading our
// output (--json) must see only ours, so that line goes to standard error.
void initLibraryQuietly() {
    std::fflush(stdout);
    int saved = dup(1);
    if (saved >= 0) dup2(2, 1);
    Zentro_Init();
    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
    }
}

int listDevices(bool json) {
    initLibraryQuietly();
    struct Row {
        int index;
        int status;
        DeviceInfoRecord info;
    };
    std::vector<Row> rows;
    for (int index = 0; index < 10; ++index) {
        int status = Zentro_CheckDeviceDetected(index);
        if (status == -5) break; // no phone at this index: none after it either
        Row row{index, status, {}};
        Zentro_GetAndroidDevicesInfo(&row.info, index);
        rows.push_back(row);
    }
    if (json) {
        std::printf("[");
        for (size_t i = 0; i < rows.size(); ++i) {
            const Row& r = rows[i];
            std::printf("%s{\"index\":%d,\"status\":%d,\"serial\":%s,\"brand\":%s,\"model\":%s,\"android\":%s}",
                        i ? "," : "", r.index, r.status, jsonText(r.info.serial).c_str(),
                        jsonText(trimmed(r.info.brand).c_str()).c_str(),
                        jsonText(trimmed(r.info.model).c_str()).c_str(),
                        jsonText(trimmed(r.info.androidVersion).c_str()).c_str());
        }
        std::printf("]\n");
    } else if (rows.empty()) {
        std::printf("no phones\n");
    } else {
        std::printf("%-5s %-20s %-14s %-24s %-8s %s\n", "INDEX", "SERIAL", "MAKER", "MODEL", "ANDROID", "STATE");
        for (const Row& r : rows) {
            const char* state = r.status == 0 ? "ready" : r.status == -2 ? "offline" : "not usable";
            std::printf("%-5d %-20s %-14s %-24s %-8s %s\n", r.index, r.info.serial,
                        trimmed(r.info.brand).c_str(), trimmed(r.info.model).c_str(),
                        trimmed(r.info.androidVersion).c_str(), state);
        }
    }
    std::fprintf(stderr, "log: %s\n", logLocation().c_str());
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return kExitOk;
    }
    if (command == "devices") {
        bool json = false;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--json") == 0) {
                json = true;
            } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
                std::printf("usage: zentro devices [--json]\n\nLists the phones adb sees. --json prints one JSON array.\n");
                return kExitOk;
            } else {
                std::fprintf(stderr, "zentro devices: unknown option '%s'\n", argv[i]);
                return kExitUsage;
            }
        }
        return listDevices(json) == 0 ? kExitOk : kExitFailure;
    }
    std::fprintf(stderr, "zentro: unknown command '%s' (try --help)\n", command.c_str());
    return kExitUsage;
}
