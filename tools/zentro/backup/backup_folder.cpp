#include "backup/backup_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "cli.h"
#include "formats/backup_formats.h"
#include "formats/safe_text.h"
#include "media_items.h"

namespace zentro::cli {

namespace fs = std::filesystem;

namespace {

std::string stampOf(const struct stat& st) {
    const auto nanoseconds = [](const timespec& t) {
        return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec);
    };
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) +
           ":" + nanoseconds(st.st_mtim) + ":" + nanoseconds(st.st_ctim);
}

} // namespace

std::string diskStamp(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
    return stampOf(st);
}

bool fileDigest(const std::string& path, int64_t& size, std::string& sha256, std::string* disk) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // Taken before the read: a write while it runs changes the times, so the next run hashes again.
    if (disk != nullptr) *disk = stampOf(st);
    Sha256 digest;
    std::vector<char> buffer(1 << 16);
    size = 0;
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) {
        digest.update(buffer.data(), static_cast<size_t>(got));
        size += got;
    }
    ::close(fd);
    if (got < 0) return false;
    sha256 = digest.hexDigest();
    return true;
}

const char* describe(FileCheck check) {
    switch (check) {
    case FileCheck::Ok: return "ok";
    case FileCheck::Unlisted: return "not in the manifest";
    case FileCheck::Missing: return "missing";
    case FileCheck::NotRegular: return "not a regular file (a link or a folder)";
    case FileCheck::WrongSize: return "changed since the backup (other size)";
    case FileCheck::WrongDigest: return "changed since the backup (other content)";
    }
    return "?";
}

BackupFolder::BackupFolder(std::string dir)
    : dir_(std::move(dir)) {}

bool BackupFolder::load() {
    std::ifstream in(path("manifest.json"));
    if (!in) return false;
    manifest_ = json::parse(in, nullptr, false);
    if (!manifest_.is_object() || !manifest_.contains("files") || !manifest_["files"].is_object()) {
        manifest_ = json::object();
        return false;
    }
    return true;
}

void BackupFolder::prepare(const std::vector<std::string>& folders) {
    std::error_code error;
    fs::create_directories(dir_, error);
    for (const std::string& folder : folders) fs::create_directories(path(folder), error);
    if (error || !fs::is_directory(dir_)) throw Failure("cannot create the folder " + dir_);
    // Leftovers of a run that was killed outright are never complete files.
    for (const auto& entry : fs::recursive_directory_iterator(dir_, error)) {
        if (entry.path().filename().string().rfind(".partial-", 0) == 0) fs::remove(entry.path(), error);
    }
    if (load()) previous_ = manifest_; // an unreadable manifest only costs a full download
}

void BackupFolder::write(const std::string& name, const std::string& bytes) {
    write(name, bytes, sha256Hex(bytes));
}

void BackupFolder::write(const std::string& name, const std::string& bytes, const std::string& sha256) {
    writeFileAtomically(path(name), bytes);
    adopt(name, static_cast<int64_t>(bytes.size()), sha256);
}

void BackupFolder::adopt(const std::string& name, int64_t size, const std::string& sha256,
                         const std::string& phone, const std::string& disk) {
    json& entry = files_[name] = {{"size", size}, {"sha256", sha256}};
    if (!phone.empty()) entry["phone"] = phone;
    if (!disk.empty()) entry["disk"] = disk;
}

bool BackupFolder::adoptFromDisk(const std::string& name) {
    int64_t size = 0;
    std::string digest;
    if (!fileDigest(path(name), size, digest)) {
        missing_.push_back(name);
        return false;
    }
    adopt(name, size, digest);
    return true;
}

const BackupFolder::json* BackupFolder::previous(const std::string& name) const {
    if (!previous_.contains("files") || !previous_["files"].is_object()) return nullptr;
    auto it = previous_["files"].find(name);
    if (it == previous_["files"].end() || !it->is_object()) return nullptr;
    // The manifest is a file anybody may have edited: an entry with a field of the wrong type is
    // no entry, so readers may take its fields as they should be.
    const auto wrong = [&](const char* key, bool (json::*is)() const noexcept) {
        const auto field = it->find(key);
        return field != it->end() && !((*field).*is)();
    };
    if (wrong("size", &json::is_number_integer) || wrong("sha256", &json::is_string) ||
        wrong("phone", &json::is_string) || wrong("disk", &json::is_string))
        return nullptr;
    return &*it;
}

std::string BackupFolder::keepUnchanged(const std::string& name, const std::string& phone) {
    const json* before = previous(name);
    if (before == nullptr || phone.empty() || before->value("phone", "") != phone) return "";
    const std::string disk = before->value("disk", ""), sha256 = before->value("sha256", "");
    if (disk.empty() || sha256.empty() || diskStamp(path(name)) != disk) return "";
    adopt(name, before->value("size", int64_t(-1)), sha256, phone, disk);
    return sha256;
}

bool BackupFolder::save(json header) {
    for (const auto& [name, entry] : files_.items()) {
        if (fileSize(path(name)) != entry["size"].get<int64_t>()) missing_.push_back(name);
    }
    const bool complete = missing_.empty();
    header["complete"] = complete;
    header["files"] = files_;
    header["missing"] = missing_;
    writeFileAtomically(path("manifest.json"), jsonText(header, 2) + "\n");
    manifest_ = std::move(header);
    return complete;
}

FileCheck BackupFolder::check(const std::string& name) const {
    if (!manifest_.contains("files") || !manifest_["files"].contains(name)) return FileCheck::Unlisted;
    const json& entry = manifest_["files"][name];
    struct stat st {};
    if (::lstat(path(name).c_str(), &st) != 0) return FileCheck::Missing;
    if (!S_ISREG(st.st_mode)) return FileCheck::NotRegular;
    if (static_cast<int64_t>(st.st_size) != entry.value("size", int64_t(-1))) return FileCheck::WrongSize;
    int64_t size = 0;
    std::string digest;
    if (!fileDigest(path(name), size, digest)) return FileCheck::NotRegular;
    if (size != entry.value("size", int64_t(-1))) return FileCheck::WrongSize;
    return digest == entry.value("sha256", "") ? FileCheck::Ok : FileCheck::WrongDigest;
}

} // namespace zentro::cli
