// Folders and files: the host, temporary and documents folders, private folders, deletion
// and file lengths. posix/files.cpp and win32/files.cpp hold the two bodies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zentro::platform {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Folder of the running executable, without a trailing separator.
std::string executableFolder();

// Where the host's helper programs lie: the executable's folder.
std::string hostFolder();

// The temporary folder, always ending in a separator.
std::string tempPath();
std::string systemTempPath(); // what the system says, before any test replaced it

// Creates one folder; an existing one is no error.
bool createFolder(const char* path);

// Creates a folder that only this user can change (mode 0700 on POSIX), or takes the one already
// there, and then checks it with isPrivateFolder. False, with the reason in `why`, when the
// folder could not be made or is not private: callers must not put files in it.
bool createPrivateFolder(const char* path, std::string& why);

// Whether `path` (a trailing separator is ignored) is a real folder, not a symbolic link or
// other redirection, owned by this user and writable by no one else. `why` gets the reason.
bool isPrivateFolder(const char* path, std::string& why);

// Deletes a folder with everything in it. 0 on success (or nothing there), else non-zero.
int removeTree(const char* path);

// The user's documents folder, created if missing; empty when it cannot be had.
std::string documentsFolder();

bool deleteFile(const char* path);

// Length of an open file in bytes (64-bit on every build); the position goes back to the start.
// -1 when it cannot be told.
int64_t fileLength(std::FILE* file);

} // namespace zentro::platform
