// A host as the product's are: it loads zentrolink.dll with LoadLibrary, resolves every name of
// the export list with GetProcAddress, starts up, detects a phone, refreshes its messages in
// bulk and walks that list as a 32-bit host does, shuts down and unloads the DLL, then lives on
// for two seconds while the threads that outlast Zentro_UnInit (USB watcher, pairing server)
// keep working. Those threads hold the module, so FreeLibrary must leave it mapped; the host
// pokes both after unloading.
//   dll_host <zentrolink.def> [<phone ready-line file>]
// The first names the export list; the second, when given, the virtual phone to work with.
// Exit status 0 when every step went as it should; each failure is printed.
// winsock2.h before windows.h; it brings in windows.h, which dbt.h relies on.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <dbt.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host_walk.h"

namespace {

using IntFn = int32_t(__cdecl*)();
using IndexFn = int32_t(__cdecl*)(int32_t);
using CallbackFn = void(__cdecl*)(int32_t);
using SetCallbackFn = int32_t(__cdecl*)(CallbackFn);
using ImageFn = int32_t(__cdecl*)(const char*, int32_t);
using GetListFn = int32_t(__cdecl*)(void**);

int g_failures = 0;
volatile LONG g_usbCalls = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++g_failures;
}

void __cdecl onUsb(int32_t) { InterlockedIncrement(&g_usbCalls); }

std::vector<std::string> exportNames(const char* defPath) {
    std::vector<std::string> names;
    std::ifstream def(defPath);
    std::string line;
    while (std::getline(def, line)) {
        const size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line.compare(start, 7, "Zentro_") == 0) {
            const size_t end = line.find_first_of(" \t\r", start);
            names.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        }
    }
    return names;
}

int adbPortFrom(const char* readyPath) {
    std::ifstream ready(readyPath);
    std::stringstream text;
    text << ready.rdbuf();
    const std::string line = text.str();
    const size_t at = line.find("adb-port=");
    return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 9);
}

// Whether the host name's first address is a loopback one: the pairing server binds there, and
// a test may listen on loopback only.
bool hostNameIsLoopback() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return false;
    hostent* entry = gethostbyname(name);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) return false;
    return static_cast<unsigned char>(entry->h_addr_list[0][0]) == 127;
}

// Sends a few bytes of an unfinished pairing message; the server thread has to read them.
bool pokePairingServer(uint16_t port) {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    hostent* entry = gethostbyname(name);
    if (entry == nullptr) return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], sizeof address.sin_addr);
    const bool sent = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      send(s, "CMD_REG", 7, 0) == 7;
    closesocket(s);
    return sent;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: dll_host <zentrolink.def> [<phone ready-line file>]\n");
        return 2;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    if (argc >= 3) {
        const int port = adbPortFrom(argv[2]);
        check(port > 0, "the phone's adb port is known");
        SetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", std::to_string(port).c_str());
    }

    HMODULE dll = LoadLibraryA("zentrolink.dll");
    check(dll != nullptr, "LoadLibrary(zentrolink.dll)");
    if (dll == nullptr) return 1;

    const std::vector<std::string> names = exportNames(argv[1]);
    int resolved = 0;
    for (const std::string& name : names) {
        if (GetProcAddress(dll, name.c_str()) != nullptr) {
            ++resolved;
        } else {
            std::printf("FAILED: GetProcAddress(%s)\n", name.c_str());
        }
    }
    std::printf("%d of %zu exports resolved\n", resolved, names.size());
    check(!names.empty() && resolved == static_cast<int>(names.size()), "every listed export resolves");

    // Through void(*)(): the one function type GCC lets any other be cast from without a warning.
    auto fn = [&](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(dll, name)); };
    auto init = reinterpret_cast<IntFn>(fn("Zentro_Init"));
    auto uninit = reinterpret_cast<IntFn>(fn("Zentro_UnInit"));
    auto detect = reinterpret_cast<IndexFn>(fn("Zentro_CheckDeviceDetected"));
    auto prepare = reinterpret_cast<IndexFn>(fn("Zentro_ReadyTodoing"));
    auto bulk = reinterpret_cast<IndexFn>(fn("Zentro_FlushSMSAll"));
    auto bulkCount = reinterpret_cast<IntFn>(fn("Zentro_FlushSMSAll_Count"));
    auto setUsb = reinterpret_cast<SetCallbackFn>(fn("Zentro_SetUSBCallBack"));
    auto qrImage = reinterpret_cast<ImageFn>(fn("Zentro_GetPCQRGeneratorImage"));
    auto getSms = reinterpret_cast<GetListFn>(fn("Zentro_GetSMS"));
    if (init == nullptr || uninit == nullptr || detect == nullptr || prepare == nullptr || bulk == nullptr ||
        bulkCount == nullptr || setUsb == nullptr || qrImage == nullptr || getSms == nullptr) {
        return 1;
    }

    setUsb(onUsb);
    check(init() == 0, "Zentro_Init");
    if (argc >= 3) {
        check(detect(0) == 0, "a phone is detected");
        check(prepare(0) == 0, "its companion is installed and started");
        check(bulk(0) == 0 && bulkCount() > 0, "its messages are refreshed in bulk");
        void* head = nullptr;
        const int32_t listed = getSms(&head);
        check(listed == bulkCount(), "the message list holds every message of the refresh");
        if (sizeof(void*) == 4) {
            // The shipping layout: nine text pointers, two flag words, the next pointer.
            const auto nodes = hostwalk::walkAsHost(head, 9, 12, 10000);
            bool wellFormed = static_cast<int32_t>(nodes.size()) == listed;
            for (const hostwalk::HostNode& node : nodes) {
                wellFormed = wellFormed && node.texts[0] != "<null>" && !node.texts[0].empty() &&
                             node.texts[8] == "<null>" && node.flags == std::vector<uint32_t>{0, 0};
            }
            check(wellFormed,
                  "walked word by word, every message node has its id, no reserved text, zero flags");
        }
    } else {
        detect(0); // no phone: only that it returns
        bulk(0);
    }

    // The pairing server is started by the first QR image request and binds the host name's
    // first address: started here only when that address is a loopback one. Wine resolves the
    // host name to the machine's network address, so under wine it is usually left out.
    const bool pairing = hostNameIsLoopback();
    if (pairing) {
        char image[MAX_PATH];
        GetTempPathA(sizeof image, image);
        std::strncat(image, "zentro-dll-host.bmp", sizeof image - std::strlen(image) - 1);
        check(qrImage(image, 0) == 0, "the QR image request starts the pairing server");
        DeleteFileA(image);
    } else {
        std::printf("note: the host name does not resolve to loopback; the pairing server is not started\n");
    }

    // The watcher's window exists once its thread runs.
    HWND window = nullptr;
    for (int i = 0; i < 500 && window == nullptr; ++i) {
        window = FindWindowA("..... usb Check hide window .....", nullptr);
        if (window == nullptr) Sleep(20);
    }
    check(window != nullptr, "the USB watcher's hidden window exists");

    check(uninit() == 0, "Zentro_UnInit");
    check(FreeLibrary(dll) != 0, "FreeLibrary");
    // Our reference is gone; the threads' references keep the module where it was.
    check(GetModuleHandleA("zentrolink.dll") == dll, "the module stays mapped while its threads run");

    // The unloaded DLL's code still runs: the window procedure on a device broadcast...
    if (window != nullptr) {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0, SMTO_NORMAL, 10000,
                            &result);
        check(g_usbCalls == 1, "the watcher tells the host of a removal after FreeLibrary");
    }
    // ... and the pairing thread on a new connection.
    if (pairing) check(pokePairingServer(20166), "the pairing server accepts after FreeLibrary");

    Sleep(2000);
    std::printf("%s after two seconds\n", g_failures == 0 ? "alive, no failures" : "alive, with failures");
    WSACleanup();
    return g_failures == 0 ? 0 : 1;
}
