// adb.exe for the Windows runs: the client side of the adb server protocol, for exactly the
// command forms the library runs (devices, shell, forward, push, pull, install, uninstall,
// kill-server, start-server). It sends the requests the real client sends, so the virtual
// phone on the other end sees the same conversation, and frames them with the phone's own
// framing code; the server port comes from ANDROID_ADB_SERVER_PORT as with the real client.
// It never starts a server of its own.
#include <winsock2.h>

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

#include "adb/framing.h"

namespace {

using zsim::adb::syncHeader;

constexpr size_t kSyncChunk = 64 * 1024;

bool fail(const std::string& message) {
    std::fprintf(stderr, "adb: error: %s\n", message.c_str());
    return false;
}

// One connection to the server; after the first failed step every later one fails too.
class Server {
public:
    Server() {
        const char* text = std::getenv("ANDROID_ADB_SERVER_PORT");
        const int port = text != nullptr ? std::atoi(text) : 0;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(port > 0 && port < 65536 ? port : 5037));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ok_ = socket_ != INVALID_SOCKET &&
              ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (!ok_) error = "cannot connect to daemon";
    }
    ~Server() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool put(const std::string& bytes) {
        for (size_t at = 0; ok_ && at < bytes.size();) {
            const int sent = ::send(socket_, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
            ok_ = sent > 0;
            at += ok_ ? static_cast<size_t>(sent) : 0;
        }
        return ok_;
    }
    // Exactly `size` bytes, or nothing and the connection failed.
    std::string get(size_t size) {
        std::string out(size, '\0');
        for (size_t at = 0; ok_ && at < size;) {
            const int got = ::recv(socket_, out.data() + at, static_cast<int>(size - at), 0);
            ok_ = got > 0;
            at += ok_ ? static_cast<size_t>(got) : 0;
        }
        return ok_ ? out : std::string();
    }
    int some(char* data, int size) { return ::recv(socket_, data, size, 0); }
    bool ok() const { return ok_; }

    // A request framed by its length in four hex digits, answered OKAY.
    bool request(const std::string& text) { return put(zsim::adb::hex4(text.size()) + text) && status(); }
    // OKAY, or FAIL with its framed message put in `error`.
    bool status() {
        const std::string word = get(4);
        if (word == "OKAY") return true;
        if (error.empty()) error = word == "FAIL" ? framed() : "protocol fault (status " + word + ")";
        ok_ = false;
        return false;
    }
    std::string framed() { return get(zsim::adb::parseHexLength(get(4)).value_or(0)); }

    std::string error;

private:
    SOCKET socket_ = INVALID_SOCKET;
    bool ok_ = false;
};

// A one-shot host service; its framed answer.
bool hostQuery(const std::string& service, std::string& answer) {
    Server c;
    if (c.request(service)) answer = c.framed();
    return c.ok() || fail(c.error.empty() ? "cannot talk to the server" : c.error);
}

std::string hostPrefix(const std::string& serial) {
    return serial.empty() ? std::string("host:") : "host-serial:" + serial + ":";
}

// The connection switched to the device (its 8-byte transport id read), then `service` opened.
bool openDevice(Server& c, const std::string& serial, const std::string& service) {
    if (c.request(serial.empty() ? "host:tport:any" : "host:tport:serial:" + serial) &&
        c.get(8).size() == 8 && c.request(service))
        return true;
    return fail(c.error.empty() ? "cannot reach the device" : c.error);
}

// Runs a shell command and hands its raw output to `out` (or standard output).
bool shell(const std::string& serial, const std::string& command, std::string* out) {
    Server c;
    if (!openDevice(c, serial, "shell:" + command)) return false;
    char buffer[4096];
    for (int got; (got = c.some(buffer, sizeof buffer)) > 0;) {
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
    for (char ch : word) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
}

// ---- sync ---------------------------------------------------------------------------------

uint32_t littleEndian(const std::string& bytes, size_t at) {
    return zsim::adb::getLe32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A sync session on the device: the mode of `remote` (0: it does not exist) handed to `work`,
// then QUIT, as the real client ends it.
template <class Work>
bool withSync(const std::string& serial, const std::string& remote, Work work) {
    Server c;
    if (!openDevice(c, serial, "sync:")) return false;
    const std::string reply =
        c.put(syncHeader("STAT", static_cast<uint32_t>(remote.size())) + remote) ? c.get(16) : "";
    const bool done =
        reply.compare(0, 4, "STAT") == 0 ? work(c, littleEndian(reply, 4)) : fail("protocol fault (STAT)");
    c.put(syncHeader("QUIT", 0));
    return done;
}

bool send(Server& c, const std::string& local, const std::string& remote) {
    std::FILE* file = std::fopen(local.c_str(), "rb");
    if (file == nullptr) return fail("cannot stat '" + local + "': No such file or directory");
    const std::string target = remote + ",33188"; // a plain file, rw-r--r--
    c.put(syncHeader("SEND", static_cast<uint32_t>(target.size())) + target);
    std::vector<char> chunk(kSyncChunk);
    for (size_t got; c.ok() && (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;)
        c.put(syncHeader("DATA", static_cast<uint32_t>(got)).append(chunk.data(), got));
    std::fclose(file);
    const std::string reply =
        c.put(syncHeader("DONE", static_cast<uint32_t>(std::time(nullptr)))) ? c.get(8) : std::string();
    if (reply.compare(0, 4, "OKAY") == 0) return true;
    return fail("failed to copy to '" + remote + "': " + (c.ok() ? c.get(littleEndian(reply, 4)) : ""));
}

// DATA chunks into `local` (made on the first chunk, or at DONE for an empty file) until DONE.
bool receive(Server& c, const std::string& remote, const std::string& local) {
    c.put(syncHeader("RECV", static_cast<uint32_t>(remote.size())) + remote);
    std::FILE* file = nullptr;
    for (;;) {
        const std::string header = c.get(8);
        if (!c.ok()) break;
        const std::string id = header.substr(0, 4);
        const uint32_t size = littleEndian(header, 4);
        if (id == "FAIL") {
            if (file != nullptr) std::fclose(file);
            return fail("failed to pull '" + remote + "': " + c.get(size));
        }
        if (id != "DONE" && (id != "DATA" || size > kSyncChunk)) break;
        const std::string data = id == "DATA" ? c.get(size) : std::string();
        if (file == nullptr && c.ok() && (file = std::fopen(local.c_str(), "wb")) == nullptr)
            return fail("cannot create '" + local + "'");
        if (file != nullptr) std::fwrite(data.data(), 1, data.size(), file);
        if (id == "DONE" && file != nullptr) return std::fclose(file) == 0;
    }
    if (file != nullptr) std::fclose(file);
    return fail("protocol fault (RECV)");
}

bool push(const std::string& serial, const std::string& local, const std::string& remote) {
    const bool pushed = withSync(serial, remote, [&](Server& c, uint32_t mode) {
        return send(c, local, (mode & 0170000) == 0040000 ? remote + "/" + baseName(local) : remote);
    });
    if (pushed) std::printf("%s: 1 file pushed.\n", local.c_str());
    return pushed;
}

bool pull(const std::string& serial, const std::string& remote, const std::string& local) {
    const bool pulled = withSync(serial, remote, [&](Server& c, uint32_t mode) {
        if (mode == 0) return fail("remote object '" + remote + "' does not exist");
        struct _stat64 info;
        const bool folder = _stat64(local.c_str(), &info) == 0 && (info.st_mode & _S_IFDIR) != 0;
        return receive(c, remote, folder ? local + "\\" + baseName(remote) : local);
    });
    if (pulled) std::printf("%s: 1 file pulled.\n", remote.c_str());
    return pulled;
}

// pm's own output goes to standard output; it succeeded when it says so.
bool packageManager(const std::string& serial, const std::string& command) {
    std::string output;
    const bool ran = shell(serial, command, &output);
    std::fputs(output.c_str(), stdout);
    return ran && output.find("Success") != std::string::npos;
}

bool install(const std::string& serial, const std::vector<std::string>& words) {
    struct _stat64 info;
    if (words.empty() || _stat64(words.back().c_str(), &info) != 0)
        return fail("cannot stat '" + (words.empty() ? "" : words.back()) + "': No such file or directory");
    const std::string remote = "/data/local/tmp/" + baseName(words.back());
    if (!push(serial, words.back(), remote)) return false;
    std::string command = "pm 'install'";
    for (size_t i = 0; i + 1 < words.size(); ++i) command += " " + quoted(words[i]);
    const bool installed = packageManager(serial, command + " " + quoted(remote));
    std::string ignored;
    shell(serial, "rm " + quoted(remote) + " </dev/null", &ignored);
    return installed;
}

int run(const std::vector<std::string>& args) {
    size_t next = 0;
    std::string serial;
    if (args.size() > 2 && args[0] == "-s") {
        serial = args[1];
        next = 2;
    }
    if (next >= args.size()) return fail("no command"), 1;
    const std::string command = args[next++];
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());

    std::string answer;
    if (!hostQuery("host:version", answer)) return 1; // every run opens so, as the real client's
    if (command == "start-server") return 0;
    if (command == "kill-server") {
        Server c;
        if (!c.request("host:kill")) return 1;
        char ignored[16];
        while (c.some(ignored, sizeof ignored) > 0) {} // the server closes once it is gone
        return 0;
    }
    if (command == "devices") {
        if (!hostQuery("host:devices", answer)) return 1;
        std::printf("List of devices attached\n%s\n", answer.c_str());
        return 0;
    }
    if (command == "forward") {
        Server c;
        if (rest.size() != 2) return fail("usage: forward <local> <remote>"), 1;
        return c.request(hostPrefix(serial) + "forward:" + rest[0] + ";" + rest[1]) && c.status()
                   ? 0
                   : (fail(c.error), 1);
    }
    // The features request precedes device commands; an empty answer selects the plain shell
    // and sync services, the only ones used here.
    if (!hostQuery(hostPrefix(serial) + "features", answer)) return 1;
    bool done = false;
    if (command == "shell") {
        std::string line;
        for (const std::string& word : rest) line += (line.empty() ? "" : " ") + word;
        _setmode(_fileno(stdout), _O_BINARY); // the phone's bytes, as they come
        done = shell(serial, line, nullptr);
    } else if ((command == "push" || command == "pull") && rest.size() == 2) {
        done = command == "push" ? push(serial, rest[0], rest[1]) : pull(serial, rest[0], rest[1]);
    } else if (command == "install") {
        done = install(serial, rest);
    } else if (command == "uninstall") {
        done = rest.size() == 1 && rest[0] != "-k"
                   ? packageManager(serial, "pm 'uninstall' " + quoted(rest[0]))
                   : fail("the -k option is not supported, and uninstall takes one package");
    } else {
        fail("unknown command " + command);
    }
    return done ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    const int status = run(std::vector<std::string>(argv + 1, argv + argc));
    std::fflush(stdout);
    WSACleanup();
    return status;
}
