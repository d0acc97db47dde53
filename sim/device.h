// The model of one virtual phone, shared by the adb server front (sim/adb) and the companion
// (sim/companion). Everything here is safe to use from several connection threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zsim {

// Everything the phone received, in order: adb requests, shell commands, companion commands.
class RequestLog {
public:
    void add(std::string entry);
    std::vector<std::string> snapshot() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

struct FileStat {
    uint32_t mode = 0; // S_IFREG | 0644 for files, S_IFDIR | 0755 for folders
    uint32_t size = 0;
    uint32_t mtime = 0;
};

// The phone's file tree: absolute paths ("/sdcard/DCIM/a.jpg") to contents. Folders exist
// implicitly as prefixes of files, or explicitly when made.
class FileTree {
public:
    void write(const std::string& path, std::string bytes, uint32_t mtime = 0);
    void append(const std::string& path, const std::string& bytes);
    std::optional<std::string> read(const std::string& path) const;
    // Up to `count` bytes from `offset` (empty past the end) without copying the whole file, so
    // chunked reads of a large file cost what they return.
    std::optional<std::string> readRange(const std::string& path, uint64_t offset, uint64_t count) const;
    // The file's size in bytes.
    std::optional<uint64_t> size(const std::string& path) const;
    bool remove(const std::string& path);
    void makeFolder(const std::string& path);
    std::optional<FileStat> stat(const std::string& path) const;
    std::vector<std::string> list(const std::string& folderPrefix) const;
    // Paths are normalised ("//" and "." collapsed, ".." resolved, no trailing "/"), so
    // "/sdcard//DCIM/" and "/sdcard/DCIM" name the same folder; a relative path is taken from
    // the root; "/storage/emulated/0" and "/storage/self/primary" are other names of /sdcard.
    // list() gives the full paths of every file below the folder (recursively, sorted,
    // folders themselves not included). remove() removes a file or an empty folder made with
    // makeFolder(), never a folder that still holds files.

    // The direct children of a folder: names (not paths) of files and folders, sorted;
    // nullopt when the folder does not exist.
    std::optional<std::vector<std::string>> children(const std::string& folder) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> files_;
    std::map<std::string, uint32_t> mtimes_;
    std::set<std::string> folders_;
};

// How one companion command misbehaves. Matched by command name: the text before the first
// ':' or ';' ("getsmsCount", "hello-transfer"), or "*" for every command.
struct CompanionFault {
    enum class Kind {
        None,
        CloseMidBody, // announce the full length, send half the body, close
        ShortBody,    // announce more bytes than are sent, then keep the connection idle
        Oversize,     // a reply longer than the command's normal reply (announced and sent)
        Empty,        // reply length 0
        CustomReply,  // `reply` instead of the normal answer
        SplitLength,  // the 4 length bytes in two writes with a pause between them
        Close,        // close the connection without answering
        HugeLength,   // announce 2^31 - 1 bytes, send the normal body, keep the connection
    };
    Kind kind = Kind::None;
    int delayMs = 0;   // before answering
    int times = -1;    // how many commands it hits; -1: all
    std::string reply; // for CustomReply
};

// Data set sizes; 0 leaves the generator's default for the seed, a negative size means none.
struct DataSizes {
    int messages = 0;
    int calls = 0;
    int events = 0;
    int contacts = 0;
    int apps = 0;
    int photos = 0;
    int music = 0;
    int videos = 0;
};

class Device {
public:
    Device(std::string serial, uint32_t seed);

    const std::string serial;
    const uint32_t seed;

    // "device", "offline", "unauthorized" (or any word adb would print).
    std::string state() const;
    void setState(std::string state);

    std::map<std::string, std::string> properties() const;
    std::string property(const std::string& name) const; // "" when unset
    void setProperty(const std::string& name, std::string value);

    FileTree files;
    RequestLog log;

    std::set<std::string> packages() const;
    bool hasPackage(const std::string& name) const;
    void addPackage(const std::string& name);
    bool removePackage(const std::string& name);

    // The companion listens on device ports 20148 and 20149 only while it runs.
    std::atomic<bool> companionRunning{false};
    std::atomic<bool> companionNeverStarts{false};

    // A shell command whose text starts with one of these prefixes never answers.
    void addHangingShellPrefix(std::string prefix);
    bool shellHangs(const std::string& command) const;
    void clearHangingShellPrefixes();

    // Added before every adb service of this device answers (shell, sync, forward).
    std::atomic<int> adbDelayMs{0};

    // Faults of the companion, by command name (see CompanionFault).
    void setCompanionFault(const std::string& command, CompanionFault fault);
    void clearCompanionFaults();
    // The fault for this command (consumes one of its `times`), or Kind::None.
    CompanionFault takeCompanionFault(const std::string& command);

    DataSizes sizes;

    // A phone that cannot be trusted: hostile texts, names and paths in its data, a calendar
    // count far beyond what it holds, a photo size near INT64_MAX, call-log pages padded with
    // empty records (see makeHostile in companion/dataset.h).
    std::atomic<bool> hostile{false};

    // A phone whose data is lawful but easy to get wrong: records that share a name, a title and
    // start, or an address and date; media of one name in two folders, of one size with other
    // bytes; empty fields, non-ASCII and control characters (see makeTricky).
    std::atomic<bool> tricky{false};

    // WiFi: the address this phone serves its companion on (empty: USB only).
    std::string wifiAddress() const;
    void setWifiAddress(std::string address);

private:
    mutable std::mutex mutex_;
    std::string state_ = "device";
    std::map<std::string, std::string> properties_;
    std::set<std::string> packages_;
    std::vector<std::string> hangingShellPrefixes_;
    std::map<std::string, CompanionFault> faults_;
    std::string wifiAddress_;
};

// ---- the companion's side, implemented in sim/companion ----------------------------------

// Serves one connection to a device port (20148 or 20149, or the WiFi port) until it closes.
// Returns at once (closing `fd`) when the companion does not run. Blocking; call it on a
// thread of the caller's.
void serveDevicePort(const std::shared_ptr<Device>& device, int devicePort, int fd);

// Joins a PC's pairing server at pcAddress:pcPort from the device's own loopback address
// (device.wifiAddress(), e.g. "127.0.0.2"): starts a companion listener there, sends
// "CMD_REGISTER" with its port, and keeps serving in background threads. 0 or -1.
int startWifiJoin(const std::shared_ptr<Device>& device, const std::string& pcAddress, int pcPort);

} // namespace zsim
