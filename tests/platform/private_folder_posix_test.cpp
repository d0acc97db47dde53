// The work folder and the capture files live in a temporary folder other users share: what they
// plant there must be refused, never followed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "test_support.h"

namespace platform = zentro::platform;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// A folder owned by another user: made and given away when we may, else the root folder.
std::string foreignFolder(const ztest::ScratchFolder& scratch) {
    const std::string folder = scratch.file("theirs");
    mkdir(folder.c_str(), 0700);
    if (chown(folder.c_str(), 65534, 65534) == 0) return folder;
    return "/";
}

} // namespace

TEST(PrivateFolder, PlantedLinksFilesAndSharedFoldersAreRefusedAndEmptyingFollowsNone) {
    ztest::ScratchFolder scratch;
    const std::string target = scratch.file("target");
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    ztest::writeFile(target + "/keep", "kept");
    const std::string link = scratch.file("link");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    const std::string dangling = scratch.file("dangling");
    ASSERT_EQ(symlink(scratch.file("nowhere").c_str(), dangling.c_str()), 0);
    const std::string file = scratch.file("file");
    ztest::writeFile(file, "x");
    const std::string open = scratch.file("open");
    ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    const std::string groupWritable = scratch.file("group");
    ASSERT_EQ(mkdir(groupWritable.c_str(), 0700), 0);
    ASSERT_EQ(chmod(groupWritable.c_str(), 0770), 0);
    const std::string theirs = foreignFolder(scratch);

    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {link, "symbolic link"},
        {link + "/", "symbolic link"}, // a trailing slash must not make the check follow it
        {dangling, "symbolic link"},   // and creating must not create its target
        {file, "not a folder"},
        {open, "writable by other users"},
        {groupWritable, "writable by other users"},
        {theirs, "owned by user"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(platform::createPrivateFolder(c.path.c_str(), why)) << c.path;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.path << ": " << why;
    }
    EXPECT_FALSE(ztest::fileExists(scratch.file("nowhere")));
    EXPECT_EQ(modeOf(target), 0700u);

    // Emptying removes a link, not what it points at, and never walks another user's folder.
    EXPECT_EQ(platform::removeTree(link.c_str()), 0);
    EXPECT_FALSE(ztest::fileExists(link));
    EXPECT_EQ(ztest::readFile(target + "/keep"), "kept");
    if (theirs == "/") GTEST_SKIP() << "no folder of another user can be made here";
    ztest::writeFile(theirs + "/their-file", "theirs");
    EXPECT_NE(platform::removeTree(theirs.c_str()), 0);
    EXPECT_EQ(ztest::readFile(theirs + "/their-file"), "theirs");
}

TEST(CaptureFile, ChildOutputGoesOnlyIntoANewFileOfOurOwn) {
    ztest::ScratchFolder scratch;
    const std::string child = "\"" + ztest::testChildPath() + "\" print captured";
    auto run = [&](const std::string& output) {
        platform::Process process;
        if (platform::startProcess(child.c_str(), scratch.path().c_str(), output.c_str(), process)) {
            platform::waitProcess(process, 10000);
            platform::releaseProcess(process);
        }
    };

    const std::string fresh = scratch.file("fresh");
    run(fresh);
    EXPECT_EQ(ztest::readText(fresh), "captured\n");
    EXPECT_EQ(modeOf(fresh), 0600u);

    // A link planted at the name is not written through, and a file already there is neither
    // emptied nor added to.
    const std::string victim = scratch.file("victim");
    ztest::writeFile(victim, "precious");
    const std::string link = scratch.file("link");
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    run(link);
    const std::string existing = scratch.file("existing");
    ztest::writeFile(existing, "planted");
    run(existing);
    EXPECT_EQ(ztest::readFile(victim), "precious");
    EXPECT_EQ(ztest::readFile(existing), "planted");
}
