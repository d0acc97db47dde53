// Helpers shared by the test programs: scratch folders, file contents, the library reset.
#pragma once

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

// Copies the child program into `folder` under the adb name, so runs "of adb" start it.
void installChildAsAdb(const std::string& folder);

// Returns the library's process-wide state to its load-time values.
void resetLibraryState();

} // namespace ztest
