// Folders, files, the debugger output and time on Windows.
#include <windows.h>
// windows.h first: the shell headers need its types.
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/log_output.h"
#include "platform/process.h"

namespace zentro::platform {
std::string executableFolder() {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return ".";
    char* slash = std::strrchr(path, '\\');
    if (slash == nullptr) return ".";
    *slash = '\0';
    return path;
}

std::string systemTempPath() {
    char path[1024];
    DWORD n = GetTempPathA(sizeof path, path);
    if (n == 0 || n >= sizeof path) return ".\\";
    std::string result(path, n);
    if (result.back() != '\\' && result.back() != '/') result.push_back('\\');
    return result;
}

bool createFolder(const char* path) {
    if (path == nullptr) return false;
    return CreateDirectoryA(path, nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool isPrivateFolder(const char* path, std::string& why) {
    why.clear();
    const DWORD attributes = path != nullptr ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        why = "cannot be examined";
    } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        why = "is a link or junction";
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        why = "is not a folder";
    }
    // The user's temporary folder is not shared between users, and a new folder inherits its
    // access rules.
    return why.empty();
}

bool createPrivateFolder(const char* path, std::string& why) {
    if (path == nullptr || (CreateDirectoryA(path, nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS)) {
        why = "cannot be created";
        return false;
    }
    return isPrivateFolder(path, why);
}

int removeTree(const char* path) {
    if (path == nullptr) return -1;
    // The shell's delete takes a list ended by two zero bytes.
    char from[MAX_PATH + 2] = {};
    std::strncpy(from, path, MAX_PATH - 1);
    for (char* p = from; *p; ++p) {
        if (*p == '/') *p = '\\';
    }
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    return SHFileOperationA(&op);
}

std::string documentsFolder() {
    char path[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path))) {
        return std::string();
    }
    return path;
}

bool deleteFile(const char* path) { return path != nullptr && DeleteFileA(path) != 0; }

int64_t fileLength(std::FILE* file) {
    if (file == nullptr || _fseeki64(file, 0, SEEK_END) != 0) return -1;
    const int64_t length = _ftelli64(file);
    return _fseeki64(file, 0, SEEK_SET) == 0 ? length : -1;
}

intptr_t createLogFile(const char* path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<intptr_t>(file);
}

bool writeLogFile(intptr_t file, const char* data, size_t size) {
    if (file == 0) return false;
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr) !=
               0 &&
           written == size;
}

void debuggerOutput(const char* text) {
    if (text != nullptr) OutputDebugStringA(text);
}

void sleepMs(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

void localTime(std::time_t time, std::tm& out) { localtime_s(&out, &time); }

} // namespace zentro::platform
