// adb.exe for the Windows test runs: the client side of the adb server protocol, for exactly
// the command forms the library runs (devices, shell, forward, push, pull, install, uninstall,
// kill-server, start-server). It sends the requests the real client sends, so the virtual
// phone on the other end sees the same conversation; the server port comes from
// ANDROID_ADB_SERVER_PORT as with the real client. It never starts a server of its own.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr size_t kSyncChunk = 64 * 1024;
constexpr int kDefaultPort = 5037;
constexpr const char* kInstallFolder = "/data/local/tmp/";

int serverPort() {
    const char* text = std::getenv("ANDROID_ADB_SERVER_PORT");
    if (text == nullptr || *text == '\0') return kDefaultPort;
    const int port = std::atoi(text);
    return port > 0 && port < 65536 ? port : kDefaultPort;
}

class Connection {
public:
    Connection() = default;
    ~Connection() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (socket_ == INVALID_SOCKET) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(serverPort()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    bool sendAll(const void* data, size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const int sent = ::send(socket_, p, static_cast<int>(size), 0);
            if (sent <= 0) return false;
            p += sent;
            size -= static_cast<size_t>(sent);
        }
        return true;
    }
    bool readAll(void* data, size_t size) {
        char* p = static_cast<char*>(data);
        while (size > 0) {
            const int got = ::recv(socket_, p, static_cast<int>(size), 0);
            if (got <= 0) return false;
            p += got;
            size -= static_cast<size_t>(got);
        }
        return true;
    }
    // Up to `size` bytes; 0 at the end of the stream, negative on error.
    int readSome(char* data, size_t size) { return ::recv(socket_, data, static_cast<int>(size), 0); }

    // A request framed by its length in four hex digits.
    bool request(const std::string& text) {
        char length[5];
        std::snprintf(length, sizeof length, "%04x", static_cast<unsigned>(text.size()));
        return sendAll(length, 4) && sendAll(text.data(), text.size());
    }

    // OKAY, or FAIL with its framed message put in `error`.
    bool status(std::string& error) {
        char word[4];
        if (!readAll(word, 4)) {
            error = "protocol fault (no status)";
            return false;
        }
        if (std::memcmp(word, "OKAY", 4) == 0) return true;
        if (std::memcmp(word, "FAIL", 4) == 0) {
            readFramed(error);
            return false;
        }
        error = "protocol fault (status " + std::string(word, 4) + ")";
        return false;
    }

    bool readFramed(std::string& out) {
        char length[5] = {};
        if (!readAll(length, 4)) return false;
        const unsigned long size = std::strtoul(length, nullptr, 16);
        out.assign(size, '\0');
        return size == 0 || readAll(out.data(), size);
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

void fail(const std::string& message) { std::fprintf(stderr, "adb: error: %s\n", message.c_str()); }

// Every run opens with the version check, as the real client's does.
bool checkServer() {
    Connection c;
    std::string error, version;
    if (!c.open()) {
        fail("cannot connect to daemon");
        return false;
    }
    if (!c.request("host:version") || !c.status(error) || !c.readFramed(version)) {
        fail(error.empty() ? "cannot read the server version" : error);
        return false;
    }
    return true;
}

// A one-shot host service whose framed answer is returned in `answer`.
bool hostQuery(const std::string& service, std::string& answer) {
    Connection c;
    std::string error;
    if (!c.open() || !c.request(service) || !c.status(error) || !c.readFramed(answer)) {
        fail(error.empty() ? "cannot talk to the server" : error);
        return false;
    }
    return true;
}

// A connection switched to the device, ready for a service request.
bool openDevice(Connection& c, const std::string& serial) {
    std::string error;
    const std::string target = serial.empty() ? "host:tport:any" : "host:tport:serial:" + serial;
    char transportId[8];
    if (!c.open() || !c.request(target) || !c.status(error) || !c.readAll(transportId, sizeof transportId)) {
        fail(error.empty() ? "cannot reach the device" : error);
        return false;
    }
    return true;
}

std::string hostPrefix(const std::string& serial) {
    return serial.empty() ? std::string("host:") : "host-serial:" + serial + ":";
}

// The features request that precedes device commands; an empty answer selects the plain shell
// and sync services, the only ones used here.
bool features(const std::string& serial) {
    std::string answer;
    return hostQuery(hostPrefix(serial) + "features", answer);
}

// Runs a shell command and hands its raw output to `out` (or standard output).
bool shell(const std::string& serial, const std::string& command, std::string* out) {
    Connection c;
    std::string error;
    if (!openDevice(c, serial)) return false;
    if (!c.request("shell:" + command) || !c.status(error)) {
        fail(error);
        return false;
    }
    char buffer[4096];
    int got;
    while ((got = c.readSome(buffer, sizeof buffer)) > 0) {
        if (out != nullptr) {
            out->append(buffer, static_cast<size_t>(got));
        } else {
            std::fwrite(buffer, 1, static_cast<size_t>(got), stdout);
        }
    }
    std::fflush(stdout);
    return true;
}

// The single-quote escaping the real client gives to words it builds itself.
std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char ch : word) {
        if (ch == '\'') {
            out += "'\\''";
        } else {
            out += ch;
        }
    }
    return out + "'";
}

// ---- sync ---------------------------------------------------------------------------------

void putHeader(std::string& out, const char* id, uint32_t value) {
    out.append(id, 4);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint32_t littleEndian(const unsigned char* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

class Sync {
public:
    explicit Sync(const std::string& serial)
        : serial_(serial) {}
    ~Sync() {
        if (open_) {
            std::string quit;
            putHeader(quit, "QUIT", 0);
            c_.sendAll(quit.data(), quit.size());
        }
    }

    bool start() {
        std::string error;
        if (!openDevice(c_, serial_)) return false;
        if (!c_.request("sync:") || !c_.status(error)) {
            fail(error);
            return false;
        }
        open_ = true;
        return true;
    }

    // The mode of a remote path; 0 when it does not exist.
    bool stat(const std::string& path, uint32_t& mode) {
        std::string packet;
        putHeader(packet, "STAT", static_cast<uint32_t>(path.size()));
        packet += path;
        unsigned char reply[16];
        if (!c_.sendAll(packet.data(), packet.size()) || !c_.readAll(reply, sizeof reply) ||
            std::memcmp(reply, "STAT", 4) != 0) {
            fail("protocol fault (STAT)");
            return false;
        }
        mode = littleEndian(reply + 4);
        return true;
    }

    bool send(const std::string& local, const std::string& remote) {
        std::FILE* file = std::fopen(local.c_str(), "rb");
        if (file == nullptr) {
            fail("cannot stat '" + local + "': No such file or directory");
            return false;
        }
        const std::string target = remote + ",33188"; // a plain file, rw-r--r--
        std::string packet;
        putHeader(packet, "SEND", static_cast<uint32_t>(target.size()));
        packet += target;
        bool ok = c_.sendAll(packet.data(), packet.size());
        std::vector<char> chunk(kSyncChunk);
        size_t got;
        while (ok && (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
            std::string header;
            putHeader(header, "DATA", static_cast<uint32_t>(got));
            ok = c_.sendAll(header.data(), header.size()) && c_.sendAll(chunk.data(), got);
        }
        std::fclose(file);
        std::string done;
        putHeader(done, "DONE", static_cast<uint32_t>(std::time(nullptr)));
        return ok && c_.sendAll(done.data(), done.size()) && syncStatus(remote);
    }

    bool receive(const std::string& remote, const std::string& local) {
        std::string packet;
        putHeader(packet, "RECV", static_cast<uint32_t>(remote.size()));
        packet += remote;
        if (!c_.sendAll(packet.data(), packet.size())) return false;
        std::FILE* file = nullptr;
        std::vector<char> chunk(kSyncChunk);
        for (;;) {
            unsigned char header[8];
            if (!c_.readAll(header, sizeof header)) break;
            const uint32_t size = littleEndian(header + 4);
            if (std::memcmp(header, "DONE", 4) == 0) {
                // An empty remote file still makes a local one.
                if (file == nullptr) file = std::fopen(local.c_str(), "wb");
                const bool ok = file != nullptr;
                if (file != nullptr) std::fclose(file);
                return ok;
            }
            if (std::memcmp(header, "FAIL", 4) == 0) {
                std::string message(size, '\0');
                c_.readAll(message.data(), size);
                if (file != nullptr) std::fclose(file);
                fail("failed to pull '" + remote + "': " + message);
                return false;
            }
            if (std::memcmp(header, "DATA", 4) != 0 || size > kSyncChunk || !c_.readAll(chunk.data(), size))
                break;
            if (file == nullptr) file = std::fopen(local.c_str(), "wb");
            if (file == nullptr) {
                fail("cannot create '" + local + "'");
                return false;
            }
            std::fwrite(chunk.data(), 1, size, file);
        }
        if (file != nullptr) std::fclose(file);
        fail("protocol fault (RECV)");
        return false;
    }

private:
    bool syncStatus(const std::string& remote) {
        unsigned char header[8];
        if (!c_.readAll(header, sizeof header)) return false;
        if (std::memcmp(header, "OKAY", 4) == 0) return true;
        std::string message(littleEndian(header + 4), '\0');
        c_.readAll(message.data(), message.size());
        fail("failed to copy to '" + remote + "': " + message);
        return false;
    }

    std::string serial_;
    Connection c_;
    bool open_ = false;
};

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isLocalFolder(const std::string& path) {
    struct _stat64 info;
    return _stat64(path.c_str(), &info) == 0 && (info.st_mode & _S_IFDIR) != 0;
}

bool push(const std::string& serial, const std::string& local, std::string remote) {
    Sync sync(serial);
    uint32_t mode = 0;
    if (!sync.start() || !sync.stat(remote, mode)) return false;
    if ((mode & 0170000) == 0040000) remote += "/" + baseName(local);
    if (!sync.send(local, remote)) return false;
    std::printf("%s: 1 file pushed.\n", local.c_str());
    return true;
}

bool pull(const std::string& serial, const std::string& remote, std::string local) {
    Sync sync(serial);
    uint32_t mode = 0;
    if (!sync.start() || !sync.stat(remote, mode)) return false;
    if (mode == 0) {
        fail("remote object '" + remote + "' does not exist");
        return false;
    }
    if (isLocalFolder(local)) local += "\\" + baseName(remote);
    if (!sync.receive(remote, local)) return false;
    std::printf("%s: 1 file pulled.\n", remote.c_str());
    return true;
}

bool install(const std::string& serial, const std::vector<std::string>& words) {
    if (words.empty()) {
        fail("install requires an argument");
        return false;
    }
    const std::string local = words.back();
    struct _stat64 info;
    if (_stat64(local.c_str(), &info) != 0) {
        fail("cannot stat '" + local + "': No such file or directory");
        return false;
    }
    const std::string remote = kInstallFolder + baseName(local);
    if (!push(serial, local, remote)) return false;
    std::string command = "pm 'install'";
    for (size_t i = 0; i + 1 < words.size(); ++i) command += " " + quoted(words[i]);
    command += " " + quoted(remote);
    std::string output;
    const bool ran = shell(serial, command, &output);
    std::string ignored;
    shell(serial, "rm " + quoted(remote) + " </dev/null", &ignored);
    std::fputs(output.c_str(), stdout);
    return ran && output.find("Success") != std::string::npos;
}

bool uninstall(const std::string& serial, const std::vector<std::string>& words) {
    if (words.size() != 1 || words[0] == "-k") {
        fail("the -k option is not supported, and uninstall takes one package");
        return false;
    }
    std::string output;
    const bool ran = shell(serial, "pm 'uninstall' " + quoted(words[0]), &output);
    std::fputs(output.c_str(), stdout);
    return ran && output.find("Success") != std::string::npos;
}

int run(const std::vector<std::string>& args) {
    size_t next = 0;
    std::string serial;
    if (next + 1 < args.size() && args[next] == "-s") {
        serial = args[next + 1];
        next += 2;
    }
    if (next >= args.size()) {
        fail("no command");
        return 1;
    }
    const std::string command = args[next++];
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());

    if (!checkServer()) return 1;
    if (command == "start-server") return 0;
    if (command == "kill-server") {
        Connection c;
        std::string error;
        if (!c.open() || !c.request("host:kill") || !c.status(error)) return 1;
        char ignored[16];
        while (c.readSome(ignored, sizeof ignored) > 0) {} // the server closes once it is gone
        return 0;
    }
    if (command == "devices") {
        std::string list;
        if (!hostQuery("host:devices", list)) return 1;
        std::printf("List of devices attached\n%s\n", list.c_str());
        return 0;
    }
    if (command == "forward") {
        if (rest.size() != 2) {
            fail("usage: forward <local> <remote>");
            return 1;
        }
        Connection c;
        std::string error;
        if (!c.open() || !c.request(hostPrefix(serial) + "forward:" + rest[0] + ";" + rest[1]) ||
            !c.status(error) || !c.status(error)) {
            fail(error);
            return 1;
        }
        return 0;
    }
    if (!features(serial)) return 1;
    if (command == "shell") {
        std::string line;
        for (const std::string& word : rest) line += (line.empty() ? "" : " ") + word;
        _setmode(_fileno(stdout), _O_BINARY); // the phone's bytes, as they come
        return shell(serial, line, nullptr) ? 0 : 1;
    }
    if (command == "push" && rest.size() == 2) return push(serial, rest[0], rest[1]) ? 0 : 1;
    if (command == "pull" && rest.size() == 2) return pull(serial, rest[0], rest[1]) ? 0 : 1;
    if (command == "install") return install(serial, rest) ? 0 : 1;
    if (command == "uninstall") return uninstall(serial, rest) ? 0 : 1;
    fail("unknown command " + command);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = run(args);
    std::fflush(stdout);
    WSACleanup();
    return status;
}
