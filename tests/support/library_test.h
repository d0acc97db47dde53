// A test that starts from a fresh library whose documents and temporary folders are the test's
// own (so its log is too), and leaves a fresh library behind for the next.
#pragma once

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/test_seams.h"
#include "test_support.h"

namespace ztest {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetLibraryState(); // the log, channels, timings, the bridge's runner and USB list too
        zentro::platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());
        zentro::platform::setTempPathForTests(temp.path() + zentro::platform::kPathSeparator);
    }
    void TearDown() override { resetLibraryState(); }
    static bool logHas(const std::string& text) {
        return readFile(zentro::core::logFilePath()).find(text) != std::string::npos;
    }

    ScratchFolder documents, temp;
};

} // namespace ztest
