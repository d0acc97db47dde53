#include "device.h"

#include <sys/stat.h>

#include <algorithm>

namespace zsim {

// ---- RequestLog ------------------------------------------------------------------------------

void RequestLog::add(std::string entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
}

std::vector<std::string> RequestLog::snapshot() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

// ---- FileTree --------------------------------------------------------------------------------

namespace {

// Always absolute: a relative path is taken from the root, ".." never climbs above it.
std::string normalizePath(const std::string& path) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = slash + 1;
    }
    std::string out;
    for (const auto& part : parts) out += "/" + part;
    // The shared storage has several names on a phone; the tree keeps it under /sdcard.
    for (const char* alias : {"/storage/emulated/0", "/storage/self/primary"}) {
        const std::string a = alias;
        if (out == a || out.compare(0, a.size() + 1, a + "/") == 0) return "/sdcard" + out.substr(a.size());
    }
    return out.empty() ? "/" : out;
}

// The prefix every path below `folder` starts with.
std::string childPrefix(const std::string& folder) { return folder == "/" ? folder : folder + "/"; }

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool anyBelow(const std::map<std::string, std::string>& files, const std::string& prefix) {
    auto it = files.lower_bound(prefix);
    return it != files.end() && startsWith(it->first, prefix);
}

bool anyBelow(const std::set<std::string>& folders, const std::string& prefix) {
    auto it = folders.lower_bound(prefix);
    return it != folders.end() && startsWith(*it, prefix);
}

} // namespace

void FileTree::write(const std::string& path, std::string bytes, uint32_t mtime) {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    files_[p] = std::move(bytes);
    mtimes_[p] = mtime;
}

void FileTree::append(const std::string& path, const std::string& bytes) {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    files_[p] += bytes;
    mtimes_.try_emplace(p, 0);
}

std::optional<std::string> FileTree::read(const std::string& path) const {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    auto it = files_.find(p);
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> FileTree::readRange(const std::string& path, uint64_t offset,
                                               uint64_t count) const {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    auto it = files_.find(p);
    if (it == files_.end()) return std::nullopt;
    if (offset >= it->second.size()) return std::string();
    return it->second.substr(static_cast<size_t>(offset), static_cast<size_t>(count));
}

std::optional<uint64_t> FileTree::size(const std::string& path) const {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    auto it = files_.find(p);
    if (it == files_.end()) return std::nullopt;
    return it->second.size();
}

bool FileTree::remove(const std::string& path) {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    if (files_.erase(p) > 0) {
        mtimes_.erase(p);
        return true;
    }
    const std::string below = childPrefix(p);
    if (folders_.count(p) > 0 && !anyBelow(files_, below) && !anyBelow(folders_, below)) {
        folders_.erase(p);
        return true;
    }
    return false;
}

void FileTree::makeFolder(const std::string& path) {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    if (p != "/" && files_.count(p) == 0) folders_.insert(p);
}

std::optional<FileStat> FileTree::stat(const std::string& path) const {
    const std::string p = normalizePath(path);
    std::lock_guard lock(mutex_);
    auto it = files_.find(p);
    if (it != files_.end()) {
        FileStat st;
        st.mode = S_IFREG | 0644;
        // The sync protocol carries 32-bit sizes; bigger files report the largest it can.
        st.size = it->second.size() > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(it->second.size());
        auto m = mtimes_.find(p);
        st.mtime = m == mtimes_.end() ? 0 : m->second;
        return st;
    }
    const std::string below = childPrefix(p);
    if (p == "/" || folders_.count(p) > 0 || anyBelow(files_, below) || anyBelow(folders_, below)) {
        FileStat st;
        st.mode = S_IFDIR | 0755;
        st.size = 4096;
        return st;
    }
    return std::nullopt;
}

std::vector<std::string> FileTree::list(const std::string& folderPrefix) const {
    const std::string below = childPrefix(normalizePath(folderPrefix));
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (auto it = files_.lower_bound(below); it != files_.end(); ++it) {
        if (!startsWith(it->first, below)) break;
        out.push_back(it->first);
    }
    return out;
}

std::optional<std::vector<std::string>> FileTree::children(const std::string& folder) const {
    const std::string p = normalizePath(folder);
    const std::string below = childPrefix(p);
    std::lock_guard lock(mutex_);
    if (files_.count(p) > 0) return std::nullopt;
    std::set<std::string> names;
    auto collect = [&](const std::string& key) {
        if (!startsWith(key, below)) return false;
        std::string rest = key.substr(below.size());
        names.insert(rest.substr(0, rest.find('/')));
        return true;
    };
    for (auto it = files_.lower_bound(below); it != files_.end() && collect(it->first); ++it) {}
    for (auto it = folders_.lower_bound(below); it != folders_.end() && collect(*it); ++it) {}
    if (names.empty() && p != "/" && folders_.count(p) == 0) return std::nullopt;
    return std::vector<std::string>(names.begin(), names.end());
}

// ---- Device ----------------------------------------------------------------------------------

Device::Device(std::string serial_, uint32_t seed_)
    : serial(std::move(serial_))
    , seed(seed_) {}

std::string Device::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void Device::setState(std::string state) {
    std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

std::map<std::string, std::string> Device::properties() const {
    std::lock_guard lock(mutex_);
    return properties_;
}

std::string Device::property(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = properties_.find(name);
    return it == properties_.end() ? std::string() : it->second;
}

void Device::setProperty(const std::string& name, std::string value) {
    std::lock_guard lock(mutex_);
    properties_[name] = std::move(value);
}

std::set<std::string> Device::packages() const {
    std::lock_guard lock(mutex_);
    return packages_;
}

bool Device::hasPackage(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return packages_.count(name) > 0;
}

void Device::addPackage(const std::string& name) {
    std::lock_guard lock(mutex_);
    packages_.insert(name);
}

bool Device::removePackage(const std::string& name) {
    std::lock_guard lock(mutex_);
    return packages_.erase(name) > 0;
}

void Device::addHangingShellPrefix(std::string prefix) {
    std::lock_guard lock(mutex_);
    hangingShellPrefixes_.push_back(std::move(prefix));
}

bool Device::shellHangs(const std::string& command) const {
    std::lock_guard lock(mutex_);
    return std::any_of(
        hangingShellPrefixes_.begin(), hangingShellPrefixes_.end(),
        [&](const std::string& prefix) { return command.compare(0, prefix.size(), prefix) == 0; });
}

void Device::clearHangingShellPrefixes() {
    std::lock_guard lock(mutex_);
    hangingShellPrefixes_.clear();
}

void Device::setCompanionFault(const std::string& command, CompanionFault fault) {
    std::lock_guard lock(mutex_);
    faults_[command] = std::move(fault);
}

void Device::clearCompanionFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

CompanionFault Device::takeCompanionFault(const std::string& command) {
    std::lock_guard lock(mutex_);
    auto it = faults_.find(command);
    if (it == faults_.end()) it = faults_.find("*");
    if (it == faults_.end()) return {};
    CompanionFault fault = it->second;
    if (fault.times == 0) {
        faults_.erase(it);
        return {};
    }
    if (fault.times > 0 && --it->second.times == 0) faults_.erase(it);
    return fault;
}

std::string Device::wifiAddress() const {
    std::lock_guard lock(mutex_);
    return wifiAddress_;
}

void Device::setWifiAddress(std::string address) {
    std::lock_guard lock(mutex_);
    wifiAddress_ = std::move(address);
}

} // namespace zsim
