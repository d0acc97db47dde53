// The control port of zentro-phone: tests change the phones while they run. It listens on
// 127.0.0.1 (ephemeral port, printed in the ready line) and speaks lines: one command per
// line, words separated by blanks.
//
// Replies are one line, "ok" or "error <reason>", except for the listing commands (devices,
// forwards, log), which answer any number of lines and then the line "end".
//
//   ping                              ok
//   devices                           "<serial> <state>" per device (removed ones too), end
//   add <serial> [seed]               a default phone joins
//   remove <serial>                   the phone is gone for good (its forwards too)
//   state <serial> <state>            device | offline | unauthorized | removed | any word;
//                                     "removed" hides the phone from adb until set back
//   prop <serial> <name> [value]      sets a property (no value: empty)
//   log <serial>                      its request log, one entry per line, then end;
//                                     "log server" gives the server's log of every request.
//                                     Backslash, CR and LF inside an entry read \\, \r, \n
//   clearlog <serial>|server
//   hang <serial> <prefix>            shell commands starting with <prefix> (the rest of the
//                                     line, blanks included, as adb sends the command) never
//                                     answer
//   unhang <serial>                   hanging commands run after all
//   delay <serial> <ms>               every adb service of the phone waits this long first
//   fault <serial> <command> <json>   a companion fault (JSON as in scenario.h) for a command
//                                     name, or "*" for all
//   clearfaults <serial>
//   companion <serial> start|stop|never|normal
//                                     runs or stops the companion now; never: "am start" no
//                                     longer starts it; normal: it does again
//   forwards                          "<serial> tcp:<local> tcp:<remote>" per forward, end
//   wifi-join <serial> <ip>:<port>    the phone joins that pairing server (from its own
//                                     address, 127.0.0.<2+position> unless it has one)
#pragma once

#include <memory>
#include <string>

#include "adb/device_list.h"
#include "adb/server.h"
#include "adb/tcp_server.h"

namespace zsim {

class ControlServer {
public:
    ControlServer(std::shared_ptr<adb::DeviceList> devices, adb::AdbServer& adb);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Listens on 127.0.0.1:port (0: ephemeral); the port or -1.
    int start(int port, std::string* error = nullptr);
    void stop();

    // One command line in, the whole reply out (each line ending in "\n").
    std::string handle(const std::string& line);

private:
    void serve(int fd);

    std::shared_ptr<adb::DeviceList> devices_;
    adb::AdbServer& adb_;
    adb::TcpServer tcp_;
};

// An entry with backslash, CR and LF written as \\, \r, \n, and back.
std::string escapeLogEntry(const std::string& entry);
std::string unescapeLogEntry(const std::string& line);

} // namespace zsim
