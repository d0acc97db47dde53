// A backup folder: its layout, its manifest, and the one way anything is written into it. Every
// item (records, media, the page) is listed with its size and SHA-256; restore trusts a file only
// when it still has both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zentro::cli {

// Size and SHA-256 of a regular file, read without following a link; false otherwise. `disk`,
// when given, gets the file's stamp as it was before the read (see diskStamp).
bool fileDigest(const std::string& path, int64_t& size, std::string& sha256, std::string* disk = nullptr);

// What the file system says of a regular file without reading it (inode, size, modification and
// change times to the nanosecond): any write, rename over or touch since gives another stamp.
// "" when it is not a regular file.
std::string diskStamp(const std::string& path);

// What a file of the folder is against the manifest.
enum class FileCheck { Ok, Unlisted, Missing, NotRegular, WrongSize, WrongDigest };
const char* describe(FileCheck check);

class BackupFolder {
public:
    using json = nlohmann::ordered_json;

    explicit BackupFolder(std::string dir);

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Reads manifest.json; false when there is none or it cannot be read.
    bool load();
    const json& manifest() const { return manifest_; }

    // For a new run: the folders made, leftovers of a killed run removed, the last manifest kept
    // so that unchanged media are not fetched again.
    void prepare(const std::vector<std::string>& folders);

    // Writing: each records what it put down, so the manifest never guesses.
    void write(const std::string& name, const std::string& bytes);
    void write(const std::string& name, const std::string& bytes, const std::string& sha256);
    // `phone` says which phone item the file holds (media), so the next run knows it unchanged;
    // `disk` is the file's diskStamp when it was hashed, so the next run need not hash it again.
    void adopt(const std::string& name, int64_t size, const std::string& sha256,
               const std::string& phone = "", const std::string& disk = "");
    // Hashes a file just placed in the folder; false (and the file counted missing) when it is not
    // there as a regular file.
    bool adoptFromDisk(const std::string& name);
    void markMissing(const std::string& name) { missing_.push_back(name); }
    bool anyMissing() const { return !missing_.empty(); }
    size_t missingCount() const { return missing_.size(); }
    const std::vector<std::string>& missing() const { return missing_; }

    // The last run's entry for a file, null when none or malformed.
    const json* previous(const std::string& name) const;

    // Carries the last run's entry over when the file still holds the same phone item (`phone`)
    // and is untouched on disk since it was hashed; no byte of it is read. Returns the kept
    // file's SHA-256, "" when it is not kept.
    std::string keepUnchanged(const std::string& name, const std::string& phone);

    // Writes manifest.json; `complete` only when nothing is missing and every listed file is on
    // disk with its recorded size. Returns that verdict.
    bool save(json header);

    // The file checked against the loaded manifest: listed, a regular file (links refused), of its
    // size and digest. A file is read once, here.
    FileCheck check(const std::string& name) const;

private:
    std::string dir_;
    json manifest_ = json::object();
    json previous_ = json::object();
    json files_ = json::object();
    std::vector<std::string> missing_;
};

} // namespace zentro::cli
