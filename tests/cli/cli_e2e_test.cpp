// The zentro host driven as a person would: a child process against the virtual phone.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include <libical/ical.h>

#include "formats.h"
#include "test_support.h"
#include "virtual_phone.h"

namespace {

struct ZentroRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs zentro from the build folder with the adb server port given; output goes to pipes, as
// when a script reads it.
ZentroRun runZentro(const std::string& args, int adbPort, const std::string& documents) {
    ztest::ScratchFolder scratch;
    const std::string outFile = scratch.file("out"), errFile = scratch.file("err");
    const std::string command = "ANDROID_ADB_SERVER_PORT=" + std::to_string(adbPort) +
                                " XDG_DOCUMENTS_DIR='" + documents + "' '" + ztest::testBinFolder() +
                                "/zentro' " + args + " >'" + outFile + "' 2>'" + errFile + "' </dev/null";
    ZentroRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ztest::readFile(outFile);
    run.err = ztest::readFile(errFile);
    return run;
}

bool askedToKill(ztest::VirtualPhone& phone) {
    for (const std::string& entry : phone.requestLog("server")) {
        if (entry.find("host:kill") != std::string::npos) return true;
    }
    return false;
}

const char* const kOnePhone = R"({"devices": [{"serial": "ZX1G22ABCD000000"}]})";

class Cli : public ::testing::Test {
protected:
    ztest::ScratchFolder documents;
};

TEST_F(Cli, UsageErrorsAndHelpHaveTheirExitCodes) {
    EXPECT_EQ(runZentro("", 1, documents.path()).status, 2);
    EXPECT_EQ(runZentro("frobnicate", 1, documents.path()).status, 2);
    EXPECT_EQ(runZentro("-d 12 info", 1, documents.path()).status, 2);
    ZentroRun help = runZentro("--help", 1, documents.path());
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"devices", "info", "prepare", "screenshot"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    EXPECT_EQ(runZentro("screenshot --help", 1, documents.path()).status, 0);
}

TEST_F(Cli, ListingOnePhoneNeverRestartsTheAdbServer) {
    ztest::VirtualPhone phone(kOnePhone);
    phone.clearRequestLog("server");
    ZentroRun list = runZentro("--json devices", phone.adbPort(), documents.path());
    ASSERT_EQ(list.status, 0) << list.err;
    auto rows = nlohmann::json::parse(list.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["serial"], "ZX1G22ABCD000000");
    EXPECT_EQ(rows[0]["state"], "device");
    EXPECT_FALSE(rows[0]["maker"].get<std::string>().empty());
    EXPECT_EQ(list.err.find("ret ="), std::string::npos) << "start-up line only with -v";

    ZentroRun text = runZentro("devices", phone.adbPort(), documents.path());
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("ZX1G22ABCD000000"), std::string::npos);
    EXPECT_EQ(text.out.find('\033') + text.err.find('\033'), std::string::npos + std::string::npos)
        << "no terminal codes into a pipe";

    ZentroRun missing = runZentro("-d 1 info", phone.adbPort(), documents.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no phone at index 1"), std::string::npos) << missing.err;
    EXPECT_FALSE(askedToKill(phone));
}

TEST_F(Cli, PrepareThenInfoAndScreenshot) {
    ztest::VirtualPhone phone;
    ZentroRun before = runZentro("--json info", phone.adbPort(), documents.path());
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(nlohmann::json::parse(before.out)["prepared"], false);

    ZentroRun prepare = runZentro("prepare", phone.adbPort(), documents.path());
    ASSERT_EQ(prepare.status, 0) << prepare.err;
    EXPECT_NE(prepare.err.find("preparing: 100%"), std::string::npos) << prepare.err;
    EXPECT_EQ(
        nlohmann::json::parse(runZentro("--json info", phone.adbPort(), documents.path()).out)["prepared"],
        true);

    const std::string png = documents.file("screen.png");
    ASSERT_EQ(runZentro("screenshot '" + png + "'", phone.adbPort(), documents.path()).status, 0);
    EXPECT_EQ(ztest::readFile(png).substr(0, 4), "\x89PNG");
}

TEST_F(Cli, RecordListsAndTheirExportsAgree) {
    ztest::VirtualPhone phone(kOnePhone);
    const int port = phone.adbPort();
    ASSERT_EQ(runZentro("prepare", port, documents.path()).status, 0);

    auto list = [&](const std::string& family) {
        ZentroRun run = runZentro("--json " + family + " list", port, documents.path());
        EXPECT_EQ(run.status, 0) << run.err;
        return nlohmann::json::parse(run.out);
    };
    const auto messages = list("sms");
    ASSERT_GT(messages.size(), 5u);
    for (size_t i = 1; i < messages.size(); ++i) {
        EXPECT_GE(messages[i - 1]["date"].get<std::string>(), messages[i]["date"].get<std::string>())
            << "newest first";
    }
    ZentroRun threads = runZentro("--json sms threads", port, documents.path());
    ASSERT_EQ(threads.status, 0) << threads.err;
    size_t grouped = 0;
    for (const auto& thread : nlohmann::json::parse(threads.out)) grouped += thread["messages"].get<size_t>();
    EXPECT_EQ(grouped, messages.size());

    const auto contacts = list("contacts");
    const std::string vcf = documents.file("contacts.vcf");
    ASSERT_EQ(runZentro("contacts export '" + vcf + "'", port, documents.path()).status, 0);
    const auto cards = zentro::cli::parseVCards(ztest::readFile(vcf));
    ASSERT_EQ(cards.size(), contacts.size());
    for (size_t i = 0; i < cards.size(); ++i) {
        const std::string first =
            contacts[i]["firstName"].is_null() ? "" : contacts[i]["firstName"].get<std::string>();
        EXPECT_EQ(cards[i][0].second.rfind(first, 0), 0u) << "FN starts with the first name";
    }

    const auto events = list("calendar");
    const std::string ics = documents.file("calendar.ics");
    ASSERT_EQ(runZentro("calendar export '" + ics + "'", port, documents.path()).status, 0);
    icalcomponent* calendar = icalparser_parse_string(ztest::readFile(ics).c_str());
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(static_cast<size_t>(icalcomponent_count_components(calendar, ICAL_VEVENT_COMPONENT)),
              events.size());
    icalcomponent_free(calendar);

    EXPECT_EQ(runZentro("calls export '" + documents.file("calls.txt") + "'", port, documents.path()).status,
              2);
    EXPECT_EQ(runZentro("sms clear", port, documents.path()).status, 2) << "a clear needs --yes";
}

// A one-shot adb server that answers every version request with another protocol version.
class OtherVersionServer {
public:
    OtherVersionServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                int client = ::accept(fd_, nullptr, nullptr);
                if (client < 0) return;
                char request[64];
                ssize_t n = ::recv(client, request, sizeof request, 0);
                std::string text(request, n > 0 ? static_cast<size_t>(n) : 0);
                const std::string reply =
                    text.find("host:version") != std::string::npos ? "OKAY00040020" : "OKAY0000";
                ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                ::close(client);
            }
        });
    }
    ~OtherVersionServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(Cli, AnAdbServerOfAnotherVersionIsReportedWithAdvice) {
    OtherVersionServer server;
    ZentroRun run = runZentro("info", server.port(), documents.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("another version (32"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("adb kill-server"), std::string::npos) << run.err;
}

} // namespace
