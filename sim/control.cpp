#include "control.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <sstream>
#include <vector>

#include "adb/io.h"
#include "scenario.h"

namespace zsim {

namespace {

constexpr size_t kMaxLine = 64 * 1024;

std::vector<std::string> splitWords(const std::string& line, size_t maxWords) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        if (words.size() + 1 == maxWords) {
            words.push_back(line.substr(i)); // the rest, blanks and all
            break;
        }
        size_t end = line.find_first_of(" \t", i);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(i, end - i));
        i = end;
    }
    return words;
}

bool parseInt(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty() || text.size() > 12) return false;
    size_t used = 0;
    try {
        out = std::stoll(text, &used);
    } catch (...) {
        return false;
    }
    return used == text.size() && out >= lo && out <= hi;
}

} // namespace

std::string escapeLogEntry(const std::string& entry) {
    std::string out;
    out.reserve(entry.size());
    for (char c : entry) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescapeLogEntry(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            out += line[i];
            continue;
        }
        char next = line[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

ControlServer::ControlServer(std::shared_ptr<adb::DeviceList> devices, adb::AdbServer& adb)
    : devices_(std::move(devices))
    , adb_(adb) {}

ControlServer::~ControlServer() { stop(); }

int ControlServer::start(int port, std::string* error) {
    return tcp_.start(
        port, [this](int fd) { serve(fd); }, error);
}

void ControlServer::stop() { tcp_.stop(); }

void ControlServer::serve(int fd) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
        size_t newline;
        while ((newline = buffer.find('\n')) == std::string::npos) {
            if (buffer.size() > kMaxLine) {
                adb::writeAll(fd, "error line too long\n");
                return;
            }
            ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return;
            buffer.append(chunk, static_cast<size_t>(got));
        }
        std::string line = buffer.substr(0, newline);
        buffer.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!adb::writeAll(fd, handle(line))) return;
    }
}

std::string ControlServer::handle(const std::string& line) {
    auto words = splitWords(line, 64);
    if (words.empty()) return "error empty command\n";
    const std::string& cmd = words[0];

    if (cmd == "ping") return "ok\n";
    if (cmd == "devices") {
        std::string out;
        for (const auto& e : devices_->entries()) out += e.device->serial + " " + e.device->state() + "\n";
        return out + "end\n";
    }
    if (cmd == "forwards") {
        std::string out;
        for (const auto& f : adb_.forwards()) out += f + "\n";
        return out + "end\n";
    }
    if (cmd == "log" || cmd == "clearlog") {
        const std::string end = cmd == "log" ? "end\n" : "";
        if (words.size() != 2) return "error usage: " + cmd + " <serial>|server\n" + end;
        RequestLog* log = nullptr;
        std::shared_ptr<Device> device;
        if (words[1] == "server") {
            log = &adb_.log();
        } else if ((device = devices_->find(words[1]))) {
            log = &device->log;
        } else {
            return "error no device " + words[1] + "\n" + end;
        }
        if (cmd == "clearlog") {
            log->clear();
            return "ok\n";
        }
        std::string out;
        for (const auto& entry : log->snapshot()) out += escapeLogEntry(entry) + "\n";
        return out + end;
    }
    if (cmd == "add") {
        if (words.size() < 2 || words.size() > 3) return "error usage: add <serial> [seed]\n";
        long long seed = 0;
        if (words.size() == 3 && !parseInt(words[2], 0, UINT32_MAX, seed))
            return "error bad seed " + words[2] + "\n";
        if (words.size() == 2) seed = deviceSeed(7, static_cast<int>(devices_->entries().size()));
        if (!devices_->add(makeDevice(words[1], static_cast<uint32_t>(seed))))
            return "error device " + words[1] + " exists\n";
        return "ok\n";
    }

    // Everything else names a device.
    static const std::set<std::string> deviceCommands = {"remove",    "state",    "prop",  "hang",
                                                         "unhang",    "delay",    "fault", "clearfaults",
                                                         "companion", "wifi-join"};
    if (deviceCommands.count(cmd) == 0) return "error unknown command " + cmd + "\n";
    if (words.size() < 2) return "error usage: " + cmd + " <serial> ...\n";
    auto device = devices_->find(words[1]);
    if (!device) return "error no device " + words[1] + "\n";

    if (cmd == "remove") {
        adb_.removeForwardsOf(device->serial);
        devices_->remove(device->serial);
        device->companionRunning = false;
        return "ok\n";
    }
    if (cmd == "state") {
        if (words.size() != 3) return "error usage: state <serial> <state>\n";
        device->setState(words[2]);
        if (words[2] == adb::kRemovedState) adb_.removeForwardsOf(device->serial);
        return "ok\n";
    }
    if (cmd == "prop") {
        auto w = splitWords(line, 4);
        if (w.size() < 3) return "error usage: prop <serial> <name> [value]\n";
        device->setProperty(w[2], w.size() == 4 ? w[3] : "");
        return "ok\n";
    }
    if (cmd == "hang") {
        auto w = splitWords(line, 3);
        if (w.size() != 3) return "error usage: hang <serial> <prefix>\n";
        device->addHangingShellPrefix(w[2]);
        return "ok\n";
    }
    if (cmd == "unhang") {
        device->clearHangingShellPrefixes();
        return "ok\n";
    }
    if (cmd == "delay") {
        long long ms = 0;
        if (words.size() != 3 || !parseInt(words[2], 0, 600000, ms))
            return "error usage: delay <serial> <ms>\n";
        device->adbDelayMs = static_cast<int>(ms);
        return "ok\n";
    }
    if (cmd == "fault") {
        auto w = splitWords(line, 4);
        if (w.size() != 4) return "error usage: fault <serial> <command> <json>\n";
        CompanionFault fault;
        std::string error;
        if (!parseCompanionFault(w[3], fault, error)) return "error " + error + "\n";
        device->setCompanionFault(w[2], fault);
        return "ok\n";
    }
    if (cmd == "clearfaults") {
        device->clearCompanionFaults();
        return "ok\n";
    }
    if (cmd == "companion") {
        const std::string what = words.size() == 3 ? words[2] : "";
        if (what == "start")
            device->companionRunning = true;
        else if (what == "stop")
            device->companionRunning = false;
        else if (what == "never")
            device->companionNeverStarts = true;
        else if (what == "normal")
            device->companionNeverStarts = false;
        else
            return "error usage: companion <serial> start|stop|never|normal\n";
        return "ok\n";
    }
    if (cmd == "wifi-join") {
        if (words.size() != 3) return "error usage: wifi-join <serial> <ip>:<port>\n";
        size_t colon = words[2].rfind(':');
        long long port = 0;
        if (colon == std::string::npos || !parseInt(words[2].substr(colon + 1), 1, 65535, port))
            return "error bad address " + words[2] + "\n";
        if (device->wifiAddress().empty()) {
            const auto all = devices_->entries();
            size_t position = 0;
            while (position < all.size() && all[position].device != device) ++position;
            device->setWifiAddress("127.0.0." + std::to_string(2 + position % 250));
        }
        device->companionRunning = true; // the user opened the app to scan the code
        if (startWifiJoin(device, words[2].substr(0, colon), static_cast<int>(port)) != 0)
            return "error join failed\n";
        return "ok\n";
    }
    return "error unknown command " + cmd + "\n"; // listed above but not handled: a bug here
}

} // namespace zsim
