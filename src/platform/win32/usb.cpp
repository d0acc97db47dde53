// Windows: present devices from the device setup service, device changes from the broadcasts
// that reach a hidden top-level window.
#include <windows.h>
// windows.h first: the two below rely on its types.
#include <dbt.h>
#include <setupapi.h>

#include <atomic>
#include <cstring>

#include "platform/usb.h"
#ifdef ZENTRO_TESTING
#include "platform/test_seams.h"
#endif

namespace zentro::platform {
namespace {

// Other programs find the watcher by this window title: keep it exactly.
constexpr const char* kWindowName = "..... usb Check hide window .....";
constexpr DWORD kInstanceIdChars = 260;
#ifdef ZENTRO_TESTING
constexpr UINT kInjectTimeoutMs = 10000;
#endif

std::atomic<DeviceChangeHandler> g_handler{nullptr};
std::atomic<HWND> g_window{nullptr};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        DeviceChangeHandler handler = g_handler.load();
        if (handler != nullptr && wParam == DBT_DEVICEARRIVAL && lParam != 0) {
            // Plain top-level windows hear of volumes only; network drives are not phones.
            auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            if (header->dbch_devicetype == DBT_DEVTYP_VOLUME &&
                (reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam)->dbcv_flags & DBTF_NET) == 0) {
                handler(DeviceChange::Arrival);
            }
        } else if (handler != nullptr && wParam == DBT_DEVICEREMOVECOMPLETE) {
            handler(DeviceChange::Removal);
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The module holding the window procedure: the DLL in the product, the program in tests.
HINSTANCE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&windowProc), &module);
    return module;
}

BOOL CALLBACK countOurWindows(HWND window, LPARAM counter) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[64] = {};
    if (process == GetCurrentProcessId() && GetClassNameA(window, name, sizeof name) > 0 &&
        std::strcmp(name, kWindowName) == 0) {
        ++*reinterpret_cast<int*>(counter);
    }
    return TRUE;
}

} // namespace

bool listDeviceInstanceIds(std::vector<std::string>& out) {
    out.clear();
    HDEVINFO list = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (list == INVALID_HANDLE_VALUE) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(list, i, &device); ++i) {
        char id[kInstanceIdChars] = {};
        if (!SetupDiGetDeviceInstanceIdA(list, &device, id, kInstanceIdChars, nullptr)) break;
        id[kInstanceIdChars - 1] = '\0';
        out.emplace_back(id);
    }
    SetupDiDestroyDeviceInfoList(list);
    return true;
}

#ifdef ZENTRO_TESTING
void setSysfsRootForTests(const std::string&) {}

bool deviceIdsComeFromSysfs() { return false; }
#endif

int runDeviceChangeLoop(DeviceChangeHandler handler) {
    if (handler == nullptr) return -1;
    g_handler.store(handler);
    HINSTANCE module = ownModule();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kWindowName;
    RegisterClassA(&windowClass); // an earlier attempt may have registered it already
    HWND window = CreateWindowExA(0, kWindowName, kWindowName, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                  nullptr, module, nullptr);
    if (window == nullptr) return -1;
    g_window.store(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    g_window.store(nullptr);
    return 0;
}

#ifdef ZENTRO_TESTING
bool injectUeventForTests(const std::string& raw) {
    HWND window = g_window.load();
    if (window == nullptr) return false;
    WPARAM event = 0;
    switch (classifyUevent(raw.data(), raw.size())) {
    case DeviceChange::Arrival: event = DBT_DEVICEARRIVAL; break;
    case DeviceChange::Removal: event = DBT_DEVICEREMOVECOMPLETE; break;
    case DeviceChange::None: return true; // the system would broadcast nothing
    }
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('Z' - 'A');
    DWORD_PTR result = 0;
    // Sent, not posted: the window procedure runs on the watcher thread before this returns.
    return SendMessageTimeoutA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume), SMTO_NORMAL,
                               kInjectTimeoutMs, &result) != 0;
}
#endif

int deviceChangeSourceCount() {
    int count = 0;
    EnumWindows(countOurWindows, reinterpret_cast<LPARAM>(&count));
    return count;
}

} // namespace zentro::platform
