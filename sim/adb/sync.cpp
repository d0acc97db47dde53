#include "adb/sync.h"

#include <sys/stat.h>

#include <string>

#include "adb/framing.h"
#include "adb/io.h"

namespace zsim::adb {

namespace {

bool sendFail(int fd, const std::string& message) {
    std::string packet = syncHeader("FAIL", static_cast<uint32_t>(message.size()));
    packet += message;
    return writeAll(fd, packet);
}

// Why a push to `path` cannot create the file, or "" when it can.
std::string sendRefusal(const Device& d, const std::string& path) {
    if (path.empty() || path[0] != '/') return "couldn't create file: No such file or directory";
    for (const char* ro : {"/system", "/vendor", "/proc", "/sys"}) {
        const std::string root = ro;
        if (path == root || path.rfind(root + "/", 0) == 0)
            return "couldn't create file: Read-only file system";
    }
    if (auto st = d.files.stat(path); st && S_ISDIR(st->mode)) return "couldn't create file: Is a directory";
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (auto st = d.files.stat(path.substr(0, slash)); st && !S_ISDIR(st->mode))
            return "couldn't create file: Not a directory";
    }
    return {};
}

bool doStat(int fd, Device& d, const std::string& path) {
    FileStat st = d.files.stat(path).value_or(FileStat{});
    std::string reply = syncHeader("STAT", st.mode);
    putLe32(reply, st.size);
    putLe32(reply, st.mtime);
    return writeAll(fd, reply);
}

bool doList(int fd, Device& d, const std::string& path) {
    std::string reply;
    if (auto names = d.files.children(path)) {
        const std::string base = path.empty() || path.back() == '/' ? path : path + "/";
        for (const auto& name : *names) {
            FileStat st = d.files.stat(base + name).value_or(FileStat{});
            reply += syncHeader("DENT", st.mode);
            putLe32(reply, st.size);
            putLe32(reply, st.mtime);
            putLe32(reply, static_cast<uint32_t>(name.size()));
            reply += name;
        }
    }
    reply += syncHeader("DONE", 0);
    putLe32(reply, 0);
    putLe32(reply, 0);
    putLe32(reply, 0);
    return writeAll(fd, reply);
}

bool doRecv(int fd, Device& d, const std::string& path) {
    auto bytes = d.files.read(path);
    if (!bytes) {
        auto st = d.files.stat(path);
        sendFail(fd, st ? "Is a directory" : "No such file or directory");
        return true;
    }
    std::string_view rest(*bytes);
    while (!rest.empty()) {
        std::string_view part = rest.substr(0, kSyncDataMax);
        rest.remove_prefix(part.size());
        if (!writeAll(fd, syncHeader("DATA", static_cast<uint32_t>(part.size()))) || !writeAll(fd, part))
            return false;
    }
    return writeAll(fd, syncHeader("DONE", 0));
}

// "path,mode": the mode is decimal; a missing mode means a plain file.
bool doSend(int fd, Device& d, const std::string& argument) {
    std::string path = argument;
    if (size_t comma = argument.rfind(','); comma != std::string::npos) path = argument.substr(0, comma);
    std::string refusal = sendRefusal(d, path);

    std::string content;
    unsigned char header[8];
    std::string chunk;
    for (;;) {
        if (!readExact(fd, header, sizeof header)) return false;
        const std::string id(reinterpret_cast<char*>(header), 4);
        const uint32_t value = getLe32(header + 4);
        if (id == "DONE") {
            if (!refusal.empty()) {
                sendFail(fd, refusal);
                return false;
            }
            d.files.write(path, std::move(content), value);
            std::string okay = syncHeader("OKAY", 0);
            return writeAll(fd, okay);
        }
        if (id != "DATA") {
            sendFail(fd, "invalid data message");
            return false;
        }
        if (value > kSyncDataMax) {
            sendFail(fd, "data chunk too large");
            return false;
        }
        chunk.resize(value);
        if (value > 0 && !readExact(fd, chunk.data(), value)) return false;
        if (refusal.empty() && content.size() + value > kSyncFileMax)
            refusal = "couldn't write file: No space left on device";
        if (refusal.empty()) content += chunk;
    }
}

} // namespace

void serveSync(int fd, Device& device) {
    unsigned char header[8];
    std::string argument;
    for (;;) {
        if (!readExact(fd, header, sizeof header)) return;
        const std::string id(reinterpret_cast<char*>(header), 4);
        const uint32_t length = getLe32(header + 4);
        if (id == "QUIT") return;
        if (id != "STAT" && id != "LIST" && id != "SEND" && id != "RECV") {
            sendFail(fd, "unknown sync command");
            return;
        }
        if (length > kSyncPathMax) {
            sendFail(fd, "path too long");
            return;
        }
        argument.resize(length);
        if (length > 0 && !readExact(fd, argument.data(), length)) return;
        device.log.add("sync:" + id + " " + argument);
        bool ok = true;
        if (id == "STAT")
            ok = doStat(fd, device, argument);
        else if (id == "LIST")
            ok = doList(fd, device, argument);
        else if (id == "RECV")
            ok = doRecv(fd, device, argument);
        else
            ok = doSend(fd, device, argument);
        if (!ok) return;
    }
}

} // namespace zsim::adb
