#include "adb/shell.h"

#include <cctype>
#include <ctime>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <utility>

#include "adb/png.h"
#include "adb/shell_words.h"

namespace zsim::adb {

namespace {

using Args = std::vector<std::string>;

struct Output {
    std::string out;
    std::string err;
    int status = 0;
};

uint32_t now() { return static_cast<uint32_t>(std::time(nullptr)); }

bool isFolder(const Device& d, const std::string& path) {
    auto st = d.files.stat(path);
    return st && S_ISDIR(st->mode);
}

Output fail(std::string err, int status = 1) {
    Output o;
    o.err = std::move(err);
    o.status = status;
    return o;
}

bool validPackageName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    int segments = 0;
    size_t start = 0;
    while (start <= name.size()) {
        size_t dot = name.find('.', start);
        if (dot == std::string::npos) dot = name.size();
        std::string seg = name.substr(start, dot - start);
        if (seg.empty() || !std::isalpha(static_cast<unsigned char>(seg[0]))) return false;
        for (char c : seg)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
        ++segments;
        start = dot + 1;
    }
    return segments >= 2;
}

// "com.x/.Main" and "com.x/com.x.Main" name the same activity; am prints the short form.
std::string shortComponent(const std::string& pkg, const std::string& cls) {
    if (cls.size() > pkg.size() && cls.compare(0, pkg.size(), pkg) == 0 && cls[pkg.size()] == '.')
        return pkg + "/" + cls.substr(pkg.size());
    return pkg + "/" + cls;
}

Output getprop(Device& d, const Args& a) {
    Output o;
    if (a.size() >= 2) {
        o.out = d.property(a[1]) + "\n";
        return o;
    }
    for (const auto& [name, value] : d.properties()) o.out += "[" + name + "]: [" + value + "]\n";
    return o;
}

Output am(Device& d, const Args& a) {
    if (a.size() < 2) return fail("usage: am [start|force-stop] ...\n");
    if (a[1] == "force-stop") {
        std::string pkg;
        for (size_t i = 2; i < a.size(); ++i) {
            if (a[i] == "--user") {
                ++i;
                continue;
            }
            pkg = a[i];
        }
        if (pkg.empty()) return fail("Error: no package specified\n");
        if (pkg == kCompanionPackage) d.companionRunning = false;
        return {};
    }
    if (a[1] != "start") return fail("Error: unknown command '" + a[1] + "'\n");

    std::string component;
    for (size_t i = 2; i < a.size(); ++i) {
        const std::string& opt = a[i];
        if (opt == "-n" && i + 1 < a.size())
            component = a[++i];
        else if ((opt == "-a" || opt == "-d" || opt == "-t" || opt == "-c" || opt == "--user") &&
                 i + 1 < a.size())
            ++i;
    }
    if (component.empty()) return fail("Error: Intent does not match any activities\n");
    size_t slash = component.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == component.size())
        return fail("Error: Bad component name: " + component + "\n");
    const std::string pkg = component.substr(0, slash);
    std::string cls = component.substr(slash + 1);
    if (cls[0] == '.') cls = pkg + cls;

    Output o;
    o.out = "Starting: Intent { cmp=" + shortComponent(pkg, cls) + " }\n";
    if (!d.hasPackage(pkg)) {
        o.err = "Error type 3\nError: Activity class {" + pkg + "/" + cls + "} does not exist.\n";
        return o;
    }
    if (pkg == kCompanionPackage && !d.companionNeverStarts) d.companionRunning = true;
    return o;
}

Output pmInstall(Device& d, const Args& a) {
    std::string path;
    for (size_t i = 2; i < a.size(); ++i) {
        const std::string& opt = a[i];
        if (opt == "-i" || opt == "--user" || opt == "--install-location") {
            ++i;
        } else if (opt.size() > 1 && opt[0] == '-') {
            if (opt != "-l" && opt != "-r" && opt != "-s" && opt != "-d" && opt != "-t" && opt != "-g" &&
                opt != "-f")
                return fail("Error: Unknown option: " + opt + "\n");
        } else {
            path = opt;
        }
    }
    if (path.empty()) return fail("Error: no package specified\n");
    auto bytes = d.files.read(path);
    if (!bytes)
        return fail("Error: Unable to open file: " + path +
                    "\nConsider using a file under /data/local/tmp/\n");
    const std::string pkg = packageOfInstallFile(*bytes);
    if (pkg.empty()) {
        Output o;
        o.out = "Failure [INSTALL_FAILED_INVALID_APK]\n";
        o.status = 1;
        return o;
    }
    d.addPackage(pkg);
    d.files.write("/data/app/" + pkg + "-1.apk", *bytes, now());
    Output o;
    o.out = "Success\n";
    return o;
}

Output pmUninstall(Device& d, const Args& a) {
    std::string pkg;
    for (size_t i = 2; i < a.size(); ++i) {
        if (a[i] == "--user") {
            ++i;
            continue;
        }
        if (a[i] == "-k") continue;
        pkg = a[i];
    }
    if (pkg.empty()) return fail("Error: package name not specified\n");
    Output o;
    if (!d.removePackage(pkg)) {
        o.out = "Failure [DELETE_FAILED_INTERNAL_ERROR]\n";
        o.status = 1;
        return o;
    }
    d.files.remove("/data/app/" + pkg + "-1.apk");
    if (pkg == kCompanionPackage) d.companionRunning = false;
    o.out = "Success\n";
    return o;
}

Output pm(Device& d, const Args& a) {
    if (a.size() < 2) return fail("usage: pm [install|uninstall|path|list] ...\n");
    if (a[1] == "install") return pmInstall(d, a);
    if (a[1] == "uninstall") return pmUninstall(d, a);
    if (a[1] == "path") {
        if (a.size() < 3 || !d.hasPackage(a[2])) return fail("");
        Output o;
        o.out = "package:/data/app/" + a[2] + "-1.apk\n";
        return o;
    }
    if (a[1] == "list" && a.size() >= 3 && a[2] == "packages") {
        Output o;
        const std::string filter = a.size() >= 4 ? a[3] : "";
        for (const auto& pkg : d.packages())
            if (pkg.find(filter) != std::string::npos) o.out += "package:" + pkg + "\n";
        return o;
    }
    return fail("Unknown command: " + a[1] + "\n");
}

void removeTree(Device& d, const std::string& path) {
    if (auto names = d.files.children(path))
        for (const auto& name : *names) removeTree(d, path == "/" ? "/" + name : path + "/" + name);
    d.files.remove(path);
}

Output rm(Device& d, const Args& a) {
    bool force = false, recursive = false;
    Args paths;
    for (size_t i = 1; i < a.size(); ++i) {
        const std::string& w = a[i];
        if (w.size() > 1 && w[0] == '-' && paths.empty()) {
            for (char c : w.substr(1)) {
                if (c == 'f')
                    force = true;
                else if (c == 'r' || c == 'R')
                    recursive = true;
                else
                    return fail("rm: Unknown option '" + std::string(1, c) + "'\n");
            }
        } else {
            paths.push_back(w);
        }
    }
    if (paths.empty()) return force ? Output{} : fail("rm: Needs 1 argument\n");
    Output o;
    for (const auto& p : paths) {
        auto st = d.files.stat(p);
        if (!st) {
            if (!force) {
                o.err += "rm: " + p + ": No such file or directory\n";
                o.status = 1;
            }
        } else if (S_ISDIR(st->mode)) {
            if (recursive) {
                removeTree(d, p);
            } else {
                o.err += "rm: " + p + ": Is a directory\n";
                o.status = 1;
            }
        } else {
            d.files.remove(p);
        }
    }
    return o;
}

Output ls(Device& d, const Args& a) {
    Args paths;
    for (size_t i = 1; i < a.size(); ++i)
        if (a[i].empty() || a[i][0] != '-') paths.push_back(a[i]);
    if (paths.empty()) paths.push_back("/");
    Output o;
    for (const auto& p : paths) {
        if (!d.files.stat(p)) {
            o.err += "ls: " + p + ": No such file or directory\n";
            o.status = 1;
        } else if (auto names = d.files.children(p)) {
            for (const auto& name : *names) o.out += name + "\n";
        } else {
            o.out += p + "\n";
        }
    }
    return o;
}

Output cat(Device& d, const Args& a) {
    Output o;
    for (size_t i = 1; i < a.size(); ++i) {
        if (auto bytes = d.files.read(a[i])) {
            o.out += *bytes;
        } else {
            o.err += "cat: " + a[i] + ": " +
                     (isFolder(d, a[i]) ? "Is a directory" : "No such file or directory") + "\n";
            o.status = 1;
        }
    }
    return o;
}

Output mkdir(Device& d, const Args& a) {
    Output o;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "-p") continue;
        if (d.files.read(a[i])) {
            o.err += "mkdir: '" + a[i] + "': File exists\n";
            o.status = 1;
        } else {
            d.files.makeFolder(a[i]);
        }
    }
    return o;
}

Output echo(Device&, const Args& a) {
    Output o;
    for (size_t i = 1; i < a.size(); ++i) o.out += (i > 1 ? " " : "") + a[i];
    o.out += "\n";
    return o;
}

Output screencap(Device& d, const Args& a) {
    std::string path;
    for (size_t i = 1; i < a.size(); ++i)
        if (a[i] != "-p") path = a[i];
    std::string png = makeScreenshotPng(d.seed);
    Output o;
    if (path.empty()) {
        o.out = std::move(png);
        return o;
    }
    if (isFolder(d, path)) return fail("Error opening file: " + path + " (Is a directory)\n");
    d.files.write(path, std::move(png), now());
    return o;
}

using Command = std::function<Output(Device&, const Args&)>;

const std::map<std::string, Command>& commands() {
    static const std::map<std::string, Command> table = {
        {"getprop", getprop}, {"am", am},     {"pm", pm},
        {"rm", rm},           {"ls", ls},     {"cat", cat},
        {"mkdir", mkdir},     {"echo", echo}, {"screencap", screencap},
    };
    return table;
}

Output runOne(Device& d, const SimpleCommand& cmd) {
    Output o;
    if (!cmd.words.empty()) {
        std::string name = cmd.words[0];
        for (const char* dir : {"/system/bin/", "/system/xbin/"})
            if (name.rfind(dir, 0) == 0) name = name.substr(std::string(dir).size());
        auto it = commands().find(name);
        if (it == commands().end())
            o = fail("/system/bin/sh: " + cmd.words[0] + ": not found\n", 127);
        else
            o = it->second(d, cmd.words);
    }
    // Output redirections; input always comes from nothing.
    for (const auto& r : cmd.redirects) {
        if (r.op == "<" || (r.fd != 1 && r.fd != 2)) continue;
        std::string& stream = r.fd == 1 ? o.out : o.err;
        if (r.op == ">&") {
            if (r.fd == 2 && r.target == "1")
                o.out += std::exchange(o.err, {});
            else if (r.fd == 1 && r.target == "2")
                o.err += std::exchange(o.out, {});
            continue;
        }
        if (r.target != "/dev/null") {
            if (isFolder(d, r.target)) {
                o.err += "/system/bin/sh: can't create " + r.target + ": Is a directory\n";
                o.status = 1;
                continue;
            }
            if (r.op == ">>")
                d.files.append(r.target, stream);
            else
                d.files.write(r.target, stream, now());
        }
        stream.clear();
    }
    return o;
}

} // namespace

std::string packageOfInstallFile(const std::string& bytes) {
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("package=", 0) == 0) {
            std::string name = line.substr(8);
            return validPackageName(name) ? name : std::string();
        }
        start = end + 1;
    }
    return {};
}

ShellResult runShell(Device& device, const std::string& commandLine) {
    ShellResult result;
    ShellLine line = parseShellLine(commandLine);
    if (!line.error.empty()) {
        result.output = "/system/bin/sh: " + line.error + "\n";
        result.status = 2;
        return result;
    }
    std::string connector;
    for (const auto& cmd : line.commands) {
        const bool skip =
            (connector == "&&" && result.status != 0) || (connector == "||" && result.status == 0);
        connector = cmd.connector;
        if (skip) continue;
        Output o = runOne(device, cmd);
        result.status = o.status;
        // What a command pipes into the next one is not modelled: only the last part shows.
        if (cmd.connector != "|") result.output += o.out;
        result.output += o.err;
    }
    return result;
}

} // namespace zsim::adb
