// The virtual phone as a test fixture: starts zentro-phone (from the folder of the test
// executable), learns its ports from the ready line and talks to its control port. The real
// adb client reaches it once exportAdbPort() has set ANDROID_ADB_SERVER_PORT.
#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ztest {

class VirtualPhone {
public:
    // Starts zentro-phone from the test executable's folder (build/bin) with the scenario
    // JSON text (empty: defaults), waits for the ready line (fail the test after 10 s).
    explicit VirtualPhone(const std::string& scenarioJson = "", const std::string& extraArgs = "");
    ~VirtualPhone(); // closes its stdin and kills it, reaps it
    VirtualPhone(const VirtualPhone&) = delete;
    VirtualPhone& operator=(const VirtualPhone&) = delete;

    int adbPort() const;
    void exportAdbPort() const;                   // setenv ANDROID_ADB_SERVER_PORT for this process
    std::string control(const std::string& line); // one control command, its reply
    std::vector<std::string> requestLog(const std::string& serial);
    void clearRequestLog(const std::string& serial);
    void setState(const std::string& serial, const std::string& state);

private:
    void shutdown();

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int controlFd_ = -1;
    int adbPort_ = 0;
    int controlPort_ = 0;
    std::string scenarioPath_;
    std::mutex controlMutex_;
};

} // namespace ztest
