#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/log.h"
#include "core/test_seams.h"
#include "library_test.h"
#include "platform/process.h"

namespace core = zentro::core;
using ::testing::EndsWith;

namespace {

const std::regex kBanner("============================================\n"
                         "[1-9][0-9]{3}/([1-9]|1[0-2])/([1-9]|[12][0-9]|3[01]) "
                         "([0-9]|1[0-9]|2[0-3]):([0-9]|[1-5][0-9]):([0-9]|[1-5][0-9])\n"
                         "============================================\n\n");

class DiagnosticLog : public ztest::LibraryTest {
protected:
    // The file's text after the banner, which must be there and well-formed.
    std::string body() {
        std::string text = ztest::readFile(core::logFilePath());
        std::smatch match;
        EXPECT_TRUE(std::regex_search(text, match, kBanner, std::regex_constants::match_continuous))
            << "banner missing in [" << text.substr(0, 120) << "]";
        return match.empty() ? text : text.substr(match.length(0));
    }
};

} // namespace

TEST_F(DiagnosticLog, FirstMessageCreatesTheFileWithItsBannerAndTheNextRunReplacesIt) {
    core::log(0, "Call Function: %s\n", "Zentro_CheckDeviceDetected");
    core::log(0, "CheckDeviceDetected  return ret = %d", -5);
    core::log(7, "%s", "next"); // the level changes nothing
    core::logCall("Zentro_Init");
    core::logAt("CheckUSBDevice", 134, 0, "Faild(%d)  %s, %d\n", 0, "CheckUSBDevice", 134);

    std::string path = core::logFilePath();
    if (!zentro::platform::kIsWindows) {
        EXPECT_EQ(path, documents.file("LogFiles/zentrolink.log"));
    }
    EXPECT_THAT(path, EndsWith("zentrolink.log"));
    EXPECT_EQ(body(), "Call Function: Zentro_CheckDeviceDetected\n"
                      "CheckDeviceDetected  return ret = -5next" // no line end is added
                      "Call Function: Zentro_Init\n"
                      "file:CheckUSBDevice, line:134\nFaild(0)  CheckUSBDevice, 134\n");

    // Each run replaces the file of the run before.
    core::resetLogForTests(); // a new process, as far as the log can tell
    core::log(0, "second run\n");
    EXPECT_EQ(core::logFilePath(), path);
    EXPECT_EQ(body(), "second run\n");
}

TEST_F(DiagnosticLog, OverlongMessagesAreCutToTheBuffer) {
    std::string huge(10000, 'a');
    huge += "END";
    core::log(0, "%s", huge.c_str());
    core::logAt("place", 9, 0, "%s", huge.c_str());
    core::log(0, "after\n");
    std::string text = body();
    // Each message keeps 4,099 bytes of text (the buffer holds its terminating zero).
    std::string prefix = "file:place, line:9\n";
    EXPECT_EQ(text, std::string(4099, 'a') + prefix + std::string(4099 - prefix.size(), 'a') + "after\n");
}

TEST_F(DiagnosticLog, UnwritableDocumentsFolderLeavesTheFileClosedAndTriesAgain) {
    if (zentro::platform::kIsWindows) GTEST_SKIP() << "documents folder is fixed by the system";
    std::string blocked = documents.file("blocked");
    ztest::writeFile(blocked, "a file where the folder should be");
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", blocked.c_str());
    core::log(0, "lost\n");
    EXPECT_EQ(core::logFilePath(), "");

    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());
    core::log(0, "kept\n");
    EXPECT_EQ(body(), "kept\n");
}
