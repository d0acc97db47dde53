#include <gtest/gtest.h>

#include <string>

#include "core/state.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/test_seams.h"
#include "test_support.h"
#include "zentrolink.h"

namespace core = zentro::core;

namespace {

// Init works on "<temp>/Temp_zentrolink"; these tests give it a temporary folder of their own so
// they never touch a real host's work folder.
class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        ztest::resetLibraryState();
        zentro::platform::setTempPathForTests(temp.path() + zentro::platform::kPathSeparator);
        zentro::platform::setHostFolderForTests(host.path());
        ztest::installChildAsAdb(host.path());
        zentro::platform::setEnv("ZENTRO_CHILD_LOG", runs().c_str());
        zentro::platform::setEnv("XDG_DOCUMENTS_DIR", temp.path().c_str());
    }
    void TearDown() override {
        zentro::platform::setEnv("ZENTRO_CHILD_LOG", "");
        ztest::resetLibraryState();
    }

    std::string workFolder() const {
        return temp.path() + zentro::platform::kPathSeparator + "Temp_zentrolink";
    }
    std::string runs() const { return host.file("runs.txt"); }

    ztest::ScratchFolder temp;
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
