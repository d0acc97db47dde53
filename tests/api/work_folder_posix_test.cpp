// The work folder lies in a temporary folder other users share. Whatever they plant at its name
// is removed (never followed) or refused, and a refused folder gets no capture file at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/log.h"
#include "core/state.h"
#include "core/test_seams.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/test_seams.h"
#include "test_support.h"
#include "zentrolink.h"

namespace core = zentro::core;
namespace platform = zentro::platform;

namespace {

class WorkFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ztest::resetLibraryState();
        platform::setTempPathForTests(temp.path() + "/");
        platform::setHostFolderForTests(host.path());
        ztest::installChildAsAdb(host.path());
        platform::setEnv("ZENTRO_CHILD_LOG", runs().c_str());
        platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());
        core::resetLogForTests();
        ASSERT_EQ(mkdir(victim().c_str(), 0700), 0);
        ztest::writeFile(victim() + "/keep", "kept");
    }
    void TearDown() override {
        platform::setEnv("ZENTRO_CHILD_LOG", "");
        ztest::resetLibraryState();
    }
    std::string runs() const { return host.file("runs.txt"); }
    std::string victim() const { return host.file("victim"); }
    std::string logText() const { return ztest::readFile(core::logFilePath()); }

    ztest::ScratchFolder temp;
    ztest::ScratchFolder host;
    ztest::ScratchFolder documents;
};

} // namespace

TEST_F(WorkFolder, InitReplacesAPlantedLinkWithAPrivateFolder) {
    const std::string work = temp.file("Temp_zentrolink");
    ASSERT_EQ(symlink(victim().c_str(), work.c_str()), 0);
    EXPECT_EQ(Zentro_Init(), 0);
    struct stat info {};
    ASSERT_EQ(lstat(work.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 077, 0u);
    EXPECT_EQ(ztest::readFile(victim() + "/keep"), "kept");
    EXPECT_EQ(logText().find("Work folder"), std::string::npos);
}

TEST_F(WorkFolder, AFolderThatCannotBeTrustedGetsNoCaptureFile) {
    // Before Init the captures use a folder that is not emptied first, so what stands there
    // stays and must be refused.
    const std::string work = temp.file("Temp_androidrc");
    const struct {
        const char* name;
        bool (*plant)(const std::string& work, const std::string& victim);
    } cases[] = {
        {"link to a folder",
         [](const std::string& w, const std::string& v) { return symlink(v.c_str(), w.c_str()) == 0; }},
        {"folder anyone may write",
         [](const std::string& w, const std::string&) {
             return mkdir(w.c_str(), 0700) == 0 && chmod(w.c_str(), 0777) == 0;
         }},
        {"folder of another user",
         [](const std::string& w, const std::string&) {
             return mkdir(w.c_str(), 0700) == 0 && chown(w.c_str(), 65534, 65534) == 0;
         }},
    };
    for (const auto& c : cases) {
        core::state().workFolder[0] = '\0'; // named afresh at the next capture
        core::resetLogForTests();
        platform::removeTree(work.c_str());
        std::remove(work.c_str());
        if (!c.plant(work, victim())) {
            ASSERT_NE(geteuid(), 0u) << c.name << ": could not be planted";
            continue; // only root can give a folder away
        }
        EXPECT_EQ(Zentro_CheckDeviceDetected(0), -1) << c.name;
        EXPECT_FALSE(ztest::fileExists(runs())) << c.name << ": adb ran";
        EXPECT_NE(logText().find("Work folder " + work + "/ refused"), std::string::npos) << c.name;
        EXPECT_EQ(ztest::readFile(victim() + "/keep"), "kept");
        EXPECT_FALSE(ztest::fileExists(victim() + "/sdlk000000")) << c.name;
    }
}
