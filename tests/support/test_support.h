// Helpers shared by the test programs: scratch folders, file contents, the library reset.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace ztest {

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

std::string readFile(const std::string& path);
// The file read as text: "\r\n" becomes "\n" (Windows children write line ends so).
std::string readText(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// Folder of the running test program (where the build puts the child program and adb).
std::string testBinFolder();

// Full path of the runner tests' child program.
std::string testChildPath();

// The child program copied into `folder` under the adb name, and `folder` made the host folder:
// each start "of adb" appends its arguments to folder/runs.txt (returned) until resetLibraryState.
std::string recordAdbRunsIn(const std::string& folder);
// What the recorded adb ran since the last look, one line per start ("" for nothing).
std::string takeAdbRuns();

// The size of a packed media record (PhotoInfo, MusicInfo, VideoInfo): it sits where no
// int64_t reference may point, so it is copied out.
template <class Info>
int64_t mediaSize(const Info& info) {
    int64_t size = 0;
    std::memcpy(&size, reinterpret_cast<const char*>(&info) + offsetof(Info, size), sizeof size);
    return size;
}

// True when the text holds bytes a terminal acts on: C0 controls but the line feed, DEL, C1
// controls in UTF-8. Header-only, so the writers' fuzz target shares it.
inline bool holdsTerminalControls(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F) return true;
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            return true;
    }
    return false;
}

// Polls `condition` until it holds (true) or `limit` has passed (false).
bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(20));

// TZ set for the guard's lifetime (and the C library told). Without an earlier value it ends
// empty: removed on Windows, UTC on glibc.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone);
    ~ZoneGuard();
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;
    void set(const char* zone);

private:
    std::string old_;
};

// Returns the library's process-wide state to its load-time values.
void resetLibraryState();

} // namespace ztest
