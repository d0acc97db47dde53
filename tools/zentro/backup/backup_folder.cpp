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

bool fileDigest(const std::string& path, int64_t& size, std::string& sha256) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
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
                         const std::string& phone) {
    files_[name] = {{"size", size}, {"sha256", sha256}};
    if (!phone.empty()) files_[name]["phone"] = phone;
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
    return it != previous_["files"].end() && it->is_object() ? &*it : nullptr;
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
