#include <gtest/gtest.h>

#include <string>

#include "core/state.h"
#include "core/test_seams.h"
#include "library_test.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "zentrolink.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace core = zentro::core;

namespace {

// Init works on "<temp>/Temp_zentrolink"; these tests give it a temporary folder of their own so
// they never touch a real host's work folder.
class StartUp : public ztest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ztest::recordAdbRunsIn(host.path());
    }

    std::string workFolder() const {
        return temp.path() + zentro::platform::kPathSeparator + "Temp_zentrolink";
    }
    std::string runs() const { return host.file("runs.txt"); }
    // A folder of the host's with a file in it, for others to point their plants at.
    std::string plantVictim() const {
        const std::string victim = host.file("victim");
        zentro::platform::createFolder(victim.c_str());
        ztest::writeFile(victim + "/keep", "kept");
        core::resetLogForTests();
        return victim;
    }

    ztest::ScratchFolder host;
};

std::string forwardSlashes(std::string text) {
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    return text;
}

} // namespace

TEST_F(StartUp, FirstInitEmptiesTheWorkFolderAndLaterOnesLeaveItAlone) {
    zentro::platform::createFolder(workFolder().c_str());
    ztest::writeFile(workFolder() + "/sdlk000042", "left by an earlier process");

    EXPECT_EQ(Zentro_Init(), 0);
    EXPECT_FALSE(ztest::fileExists(workFolder() + "/sdlk000042"));
    EXPECT_TRUE(ztest::fileExists(workFolder()));
    EXPECT_EQ(std::string(core::state().workFolder), forwardSlashes(workFolder()) + "/");
    EXPECT_NE(core::transferBuffer(), nullptr);

    ztest::writeFile(workFolder() + "/sdlk000000", "this run's file");
    EXPECT_EQ(Zentro_Init(), 0);
    EXPECT_EQ(ztest::readFile(workFolder() + "/sdlk000000"), "this run's file");

    // Shutting down keeps the state; starting again neither empties nor moves the folder.
    EXPECT_EQ(Zentro_UnInit(), 0);
    EXPECT_EQ(Zentro_Init(), 0);
    EXPECT_EQ(ztest::readFile(workFolder() + "/sdlk000000"), "this run's file");
    EXPECT_EQ(std::string(core::state().workFolder), forwardSlashes(workFolder()) + "/");
}

TEST_F(StartUp, UnInitStopsTheCompanionAndEndsTheAdbServerEvenWithoutAPhone) {
    EXPECT_EQ(Zentro_UnInit(), 0);
    // The kill is launched without waiting: give the detached child a moment to record itself.
    std::string recorded;
    for (int i = 0; i < 200 && recorded.find('\n', recorded.find('\n') + 1) == std::string::npos; ++i) {
        zentro::platform::sleepMs(10);
        recorded = ztest::readFile(runs());
    }
    std::string expectedKill = zentro::platform::kIsWindows ? "" : "kill-server\n";
    EXPECT_EQ(recorded, "-s|shell|am|force-stop|com.vantrey.pocketdesk\n" + expectedKill);
}

#ifndef _WIN32
// The work folder lies in a temporary folder other users share. Before Init the captures use a
// folder that is not emptied first, so what stands at its name must be refused, and a refused
// folder gets no capture file at all. (Every kind of plant the check refuses is enumerated by
// the private-folder unit test; here the wiring is what counts.)
TEST_F(StartUp, AFolderOthersPlantedGetsNoCaptureFile) {
    const std::string victim = plantVictim();
    const std::string work = temp.file("Temp_androidrc");
    ASSERT_EQ(symlink(victim.c_str(), work.c_str()), 0);
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), -1);
    EXPECT_FALSE(ztest::fileExists(runs())) << "adb ran";
    EXPECT_TRUE(logHas("Work folder " + work + "/ refused"));
    EXPECT_EQ(ztest::readFile(victim + "/keep"), "kept");
    EXPECT_FALSE(ztest::fileExists(victim + "/sdlk000000"));
}

TEST_F(StartUp, InitReplacesAPlantedLinkWithAPrivateFolder) {
    const std::string victim = plantVictim();
    ASSERT_EQ(symlink(victim.c_str(), workFolder().c_str()), 0);
    EXPECT_EQ(Zentro_Init(), 0);
    struct stat info {};
    ASSERT_EQ(lstat(workFolder().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 077, 0u);
    EXPECT_EQ(ztest::readFile(victim + "/keep"), "kept");
    EXPECT_FALSE(logHas("Work folder"));
}
#endif
