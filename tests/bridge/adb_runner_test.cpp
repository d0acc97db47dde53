#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "bridge/adb_runner.h"
#include "bridge/test_seams.h"
#include "library_test.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/test_seams.h"

namespace bridge = zentro::bridge;
namespace platform = zentro::platform;
using ::testing::EndsWith;

namespace {

// Runs "adb" from a host folder that holds the test child under that name.
class AdbRunner : public ztest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ztest::recordAdbRunsIn(host.path());
        // Short waits so time-outs cost a second, not 4 or 20; long enough for a child that a
        // 32-bit program under wine takes some 400 ms to start, shorter than the 3 s sleeps below.
        bridge::setRunnerTimingsForTests({/*boundedMs=*/1500, /*captureMs=*/1500, /*turnPollMs=*/5});
    }
    std::string path(const std::string& name) const { return host.file(name); }

    ztest::ScratchFolder host;
};

} // namespace

TEST_F(AdbRunner, CapturingRunKeepsWhatArrivedInItsWaitAndStartsInTheHostFolder) {
    EXPECT_EQ(bridge::runAdbCapturing("print partial sleep 3000 print late", path("partial.txt").c_str()), 0);
    EXPECT_EQ(ztest::readText(path("partial.txt")), "partial\n");
    // The next run does not wait for the one still going.
    std::string args = "print one print two cwd \"" + path("cwd.txt") + "\"";
    EXPECT_EQ(bridge::runAdbCapturing(args.c_str(), path("out.txt").c_str()), 0);
    EXPECT_EQ(ztest::readText(path("out.txt")), "one\ntwo\n");
    EXPECT_EQ(ztest::readText(path("cwd.txt")), host.path() + "\n");
}

TEST_F(AdbRunner, BoundedRunFailsOnlyWhenTheWaitRunsOut) {
    EXPECT_EQ(bridge::runAdbBounded("exit 3"), 0); // exit codes are never read
    EXPECT_EQ(bridge::runAdbBounded("sleep 3000"), -1);
    EXPECT_EQ(bridge::runAdb("exit 1"), 0);
}

TEST_F(AdbRunner, MissingAdbMakesEveryVariantFail) {
    ztest::ScratchFolder empty;
    platform::setHostFolderForTests(empty.path());
    EXPECT_EQ(bridge::runAdb("devices"), -1);
    EXPECT_EQ(bridge::runAdbBounded("kill-server"), -1);
    EXPECT_EQ(bridge::runAdbCapturing("devices", path("never.txt").c_str()), -1);
    EXPECT_EQ(bridge::runTool("AdbDriverInstaller.exe", nullptr), 0)
        << "the command interpreter itself starts even when the program is missing";
    EXPECT_EQ(bridge::launchDetached(("\"" + empty.file("nothing") + "\" x").c_str()), -1);
}

TEST_F(AdbRunner, ArgumentsArriveSplitByTheWindowsRulesAndOverlongLinesAreCut) {
    std::string record = path("args.txt");
    std::string head = "args \"" + record + "\" ";
    EXPECT_EQ(
        bridge::runAdb((head + "-s \"SERIAL 1\" pull \"/sdcard/a b.jpg\" say\\\"hi C:\\dir\\ ").c_str()), 0);
    // The first line is the program itself.
    EXPECT_THAT(
        ztest::readFile(record),
        EndsWith("\nargs\n" + record + "\n-s\nSERIAL 1\npull\n/sdcard/a b.jpg\nsay\"hi\nC:\\dir\\\n"));

    EXPECT_EQ(bridge::runAdb((head + std::string(2000, 'x')).c_str()), 0);
    std::string program = "\"" + host.path() + platform::kPathSeparator + platform::kAdbProgram + "\" ";
    size_t kept = 1023 - program.size() - head.size(); // 1,023 characters in all
    EXPECT_THAT(ztest::readFile(record), EndsWith("\n" + std::string(kept, 'x') + "\n"));
}

TEST_F(AdbRunner, ToolRunsThroughTheCommandInterpreterAndDetachedLaunchDoesNotWait) {
    std::string childName = ztest::testChildPath().substr(ztest::testBinFolder().size() + 1);
    platform::setHostFolderForTests(ztest::testBinFolder());
    EXPECT_EQ(bridge::runTool(childName.c_str(), "tool-run"), 0);
    EXPECT_EQ(ztest::readFile(path("runs.txt")), "tool-run\n");

    std::string detached = "\"" + ztest::testChildPath() + "\" detached sleep 200";
    EXPECT_EQ(bridge::launchDetached(detached.c_str()), 0);
    std::string recorded;
    for (int i = 0; i < 300 && recorded.find("detached") == std::string::npos; ++i) {
        platform::sleepMs(10);
        recorded = ztest::readFile(path("runs.txt"));
    }
    EXPECT_EQ(recorded, "tool-run\ndetached|sleep|200\n");
}

TEST_F(AdbRunner, ChildLeftRunningAfterATimeOutIsReapedNotLeftAZombie) {
    if (platform::kIsWindows) GTEST_SKIP() << "process handles leave no zombies";
    platform::Process child;
    std::string line = "\"" + ztest::testChildPath() + "\" sleep 200";
    ASSERT_TRUE(platform::startProcess(line.c_str(), host.path().c_str(), nullptr, child));
    const std::string proc = "/proc/" + std::to_string(child.handle);
    EXPECT_EQ(platform::waitProcess(child, 10), platform::WaitResult::TimedOut);
    platform::releaseProcess(child);
    // Reaped means the kernel forgot the pid; a zombie would keep /proc/<pid> forever.
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        platform::sleepMs(10);
        gone = !ztest::fileExists(proc);
    }
    EXPECT_TRUE(gone) << proc << " still there";
}
