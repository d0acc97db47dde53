// The zentro host driven as a person would: a child process against the virtual phone.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <thread>

#include <libical/ical.h>

#include "formats/formats.h"
#include "reference_phone.h"
#include "test_support.h"
#include "virtual_phone.h"

namespace {

struct ZentroRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs zentro from the build folder with the adb server port given (in `folder` when given);
// output goes to pipes, as when a script reads it.
ZentroRun runZentro(const std::string& args, int adbPort, const std::string& documents,
                    const std::string& folder = "") {
    ztest::ScratchFolder scratch;
    const std::string outFile = scratch.file("out"), errFile = scratch.file("err");
    const std::string command = (folder.empty() ? "" : "cd '" + folder + "' && ") +
                                "ANDROID_ADB_SERVER_PORT=" + std::to_string(adbPort) + " TMPDIR='" +
                                documents + "' XDG_DOCUMENTS_DIR='" + documents + "' '" +
                                ztest::testBinFolder() + "/zentro' " + args + " >'" + outFile + "' 2>'" +
                                errFile + "' </dev/null";
    ZentroRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ztest::readFile(outFile);
    run.err = ztest::readFile(errFile);
    return run;
}

// A zentro run in the background, to be interrupted as a person at the terminal would.
class BackgroundZentro {
public:
    BackgroundZentro(const std::string& args, int adbPort, const std::string& documents)
        : err_(scratch_.file("err")) {
        const std::string command = "ANDROID_ADB_SERVER_PORT=" + std::to_string(adbPort) + " TMPDIR='" +
                                    documents + "' XDG_DOCUMENTS_DIR='" + documents + "' exec '" +
                                    ztest::testBinFolder() + "/zentro' " + args + " >'" +
                                    scratch_.file("out") + "' 2>'" + err_ + "' </dev/null";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            std::_Exit(127);
        }
    }
    ~BackgroundZentro() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // Waits up to 10 s for `text` on its standard error.
    bool waitForError(const std::string& text) {
        for (int i = 0; i < 500; ++i) {
            if (ztest::readFile(err_).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Sends SIGINT; the exit status and how long the run took to end (-1 when it did not in 5 s).
    std::pair<int, double> interrupt() {
        const auto sent = std::chrono::steady_clock::now();
        ::kill(pid_, SIGINT);
        int status = 0;
        for (int i = 0; i < 250; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count()};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {-1, -1};
    }
    std::string err() const { return ztest::readFile(err_); }

private:
    ztest::ScratchFolder scratch_;
    std::string err_;
    pid_t pid_ = -1;
};

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
    // Refused before any phone is asked: no adb server listens on port 1.
    const struct {
        std::string args;
        int status;
        const char* says;
    } table[] = {
        {"", 2, "a command is required; one of:\n  devices"},
        {"--version", 0, "zentro 0."},
        {"devcies", 2, "unknown command 'devcies'; did you mean 'devices'?"},
        {"--json sms lsit", 2, "did you mean 'list'?"},
        {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"-d 12 info", 2, "-d"},
        {"photos pull", 2, "ID"},
        {"photos pull notanumber", 2, "ID"},
        {"music copy 3 --to 10", 2, "--to"},
        {"pair --timeout -5", 2, "from 0 (wait until Ctrl-C) to 86400"},
        {"pair '" + documents.file("missing") + "/p.bmp'", 2, "there is no folder"},
        {"calls add 555 --date yesterday", 2, "--date: 'yesterday' is not a date"},
        {"calendar add X --start tomorrow --end 2026-12-08", 2, "--start: 'tomorrow' is not a date"},
        {"calendar add X --start 2026-02-30 --end 2026-03-01", 2, "no day 30"},
        {"calendar add X --start 2026-12-08T10:00 --end '2026-12-08 09:00'", 2, "must come after --start"},
    };
    for (const auto& row : table) {
        const ZentroRun run = runZentro(row.args, 1, documents.path());
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.err;
        EXPECT_NE((run.out + run.err).find(row.says), std::string::npos) << row.args << "\n"
                                                                         << run.out << run.err;
        EXPECT_LT(run.err.size(), 2000u) << row.args << ": one message, not a page";
        EXPECT_EQ(run.out.find("Unable to open"), std::string::npos) << row.args << ": " << run.out;
    }
    ZentroRun help = runZentro("--help", 1, documents.path());
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"devices", "info", "prepare", "screenshot", "sms", "calls", "calendar",
                                "contacts", "apps", "photos", "music", "videos", "pair", "demo"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    for (const char* command : {"devices", "screenshot", "sms send", "calendar list", "apps install",
                                "photos pull", "music copy", "videos delete", "demo"}) {
        ZentroRun sub = runZentro(std::string(command) + " --help", 1, documents.path());
        EXPECT_EQ(sub.status, 0) << command;
        for (const char* shown : {"Usage:", "-d,--device", "--json", "--verbose"})
            EXPECT_NE(sub.out.find(shown), std::string::npos) << command << " " << shown << "\n" << sub.out;
    }
}

TEST_F(Cli, AddedRecordsReadBackWithLocalDatesAndSayWhatHappened) {
    ztest::VirtualPhone phone(kOnePhone);
    const int port = phone.adbPort();
    ASSERT_EQ(runZentro("prepare", port, documents.path()).status, 0);
    const struct {
        std::string args;
        const char* says;
    } changes[] = {
        {"calls add 5550100 --date '2026-12-01 09:30' --type 2 --duration 42",
         "added outgoing call to 5550100 on 2026-12-01 09:30:00 (42 s)"},
        {"calendar clear --yes", "deleted every calendar event on phone 0"},
        {"calendar add Dentist --start 2026-12-08T10:00 --end '2026-12-08 11:30'",
         "added event 'Dentist' from 2026-12-08 10:00 to 2026-12-08 11:30"},
        {"contacts add Ann +15550123", "added contact 'Ann' (+15550123) with id "},
    };
    for (const auto& row : changes) {
        const ZentroRun run = runZentro(row.args, port, documents.path());
        EXPECT_EQ(run.status, 0) << row.args << "\n" << run.err;
        EXPECT_NE(run.out.find(row.says), std::string::npos) << row.args << "\n" << run.out;
    }

    const auto calls = nlohmann::json::parse(runZentro("--json calls list", port, documents.path()).out);
    auto added =
        std::find_if(calls.begin(), calls.end(), [](const auto& c) { return c["number"] == "5550100"; });
    ASSERT_NE(added, calls.end());
    EXPECT_EQ((*added)["date"], "2026-12-01 09:30:00") << "kept as the phone keeps call dates";
    EXPECT_EQ((*added)["dateIso"].get<std::string>().rfind("2026-12-01T09:30:00", 0), 0u) << *added;

    const ZentroRun table = runZentro("calendar list", port, documents.path());
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("2026-12-08 10:00 Dentist"), std::string::npos) << table.out;
    EXPECT_NE(table.err.find("1 event\n"), std::string::npos) << table.err;
    const auto events = nlohmann::json::parse(runZentro("--json calendar list", port, documents.path()).out);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::stoll(events[0]["end"].get<std::string>()) -
                  std::stoll(events[0]["start"].get<std::string>()),
              90 * 60 * 1000)
        << "the raw milliseconds stay";
    EXPECT_EQ(events[0]["startIso"].get<std::string>().rfind("2026-12-08T10:00:00", 0), 0u) << events[0];

    const auto messages = nlohmann::json::parse(runZentro("--json sms list", port, documents.path()).out);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0]["dateIso"].get<std::string>().substr(0, 10),
              messages[0]["date"].get<std::string>().substr(0, 10));
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
    // Onto an existing file only with --force; into a folder under a name of its own, numbered.
    ztest::writeFile(png, "mine");
    EXPECT_EQ(runZentro("screenshot '" + png + "'", phone.adbPort(), documents.path()).status, 2);
    EXPECT_EQ(ztest::readFile(png), "mine");
    EXPECT_EQ(runZentro("screenshot --force '" + png + "'", phone.adbPort(), documents.path()).status, 0);
    EXPECT_EQ(ztest::readFile(png).substr(0, 4), "\x89PNG");
    const std::string shots = documents.file("shots");
    ASSERT_EQ(::mkdir(shots.c_str(), 0755), 0);
    for (const char* name : {"/screenshot.png", "/screenshot (2).png"}) {
        ZentroRun shot = runZentro("screenshot shots", phone.adbPort(), documents.path(), documents.path());
        EXPECT_EQ(shot.status, 0) << shot.err;
        EXPECT_EQ(ztest::readFile(shots + name).substr(0, 4), "\x89PNG") << name;
    }
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

using ztest::ReferencePhone;

const char* const kSeededPhone = R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 41}]})";

TEST_F(Cli, ListsMatchThePhoneAndPulledMediaIsByteIdentical) {
    ztest::VirtualPhone phone(kSeededPhone);
    const int port = phone.adbPort();
    ReferencePhone reference("ZX1G22ABCD000000", 41);
    ASSERT_EQ(runZentro("prepare", port, documents.path()).status, 0);
    auto list = [&](const std::string& args) {
        ZentroRun run = runZentro("--json " + args, port, documents.path());
        EXPECT_EQ(run.status, 0) << args << ": " << run.err;
        return nlohmann::json::parse(run.out.empty() ? "[]" : run.out);
    };
    EXPECT_EQ(list("sms list").size(), static_cast<size_t>(reference.count("getsmsCount;")));
    // prepare installed the companion app on the phone; the reference never was prepared.
    EXPECT_EQ(list("apps list --system").size(), static_cast<size_t>(reference.count("getappcount;")) + 1);

    const std::string dest = documents.file("pulled");
    ASSERT_EQ(::mkdir(dest.c_str(), 0755), 0);
    for (const auto& [family, count] : {std::pair<std::string, std::string>{"photos", "getdcimcount;"},
                                        {"music", "getmusiccount;"},
                                        {"videos", "getvideocount;"}}) {
        const auto items = list(family + " list");
        ASSERT_EQ(items.size(), static_cast<size_t>(reference.count(count))) << family;
        ASSERT_FALSE(items.empty()) << family;
        const auto& item = items.back();
        ZentroRun pull = runZentro("--json " + family + " pull " + std::to_string(item["id"].get<int>()) +
                                       " '" + dest + "'",
                                   port, documents.path());
        ASSERT_EQ(pull.status, 0) << pull.err;
        const std::string file = nlohmann::json::parse(pull.out)["file"];
        const std::string bytes = ztest::readFile(file);
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), item["size"].get<int64_t>()) << family;
        EXPECT_TRUE(bytes == reference.fileAt(item["path"])) << family << " " << file;
    }

    const std::string local = documents.file("upload.png");
    const std::string content = std::string(70000, 'x') + "tail";
    ztest::writeFile(local, content);
    for (int round = 0; round < 2; ++round) { // the second finds the name taken
        ZentroRun push =
            runZentro("--json photos push '" + local + "' --name pushed.png", port, documents.path());
        ASSERT_EQ(push.status, 0) << push.err;
        const auto pushed = nlohmann::json::parse(push.out);
        EXPECT_EQ(pushed["size"].get<int64_t>(), static_cast<int64_t>(content.size()));
        EXPECT_NE(pushed["path"].get<std::string>().find("pushed"), std::string::npos);
        const std::string back = documents.file("back" + std::to_string(round) + ".png");
        ASSERT_EQ(runZentro("photos pull " + std::to_string(pushed["id"].get<int>()) + " '" + back + "'",
                            port, documents.path())
                      .status,
                  0);
        EXPECT_TRUE(ztest::readFile(back) == content);
    }
    EXPECT_EQ(runZentro("photos push '" + documents.file("absent.png") + "'", port, documents.path()).status,
              2);

    // Pulled from a working folder of its own: under the phone's name there, numbered when that
    // is taken; onto a file only with --force; a second id is not taken for a file name.
    const std::string work = documents.file("work");
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    const auto listed = list("photos list");
    const auto& photo = listed[0];
    const std::string id = std::to_string(photo["id"].get<int>()), name = photo["path"];
    const std::string stem = name.substr(name.rfind('/') + 1, name.rfind('.') - name.rfind('/') - 1);
    for (const std::string& expected : {stem + ".png", stem + " (2).png"}) {
        ZentroRun pull = runZentro("photos pull " + id, port, documents.path(), work);
        EXPECT_EQ(pull.status, 0) << pull.err;
        EXPECT_TRUE(ztest::readFile(work + "/" + expected) == reference.fileAt(photo["path"])) << expected;
    }
    ZentroRun secondId = runZentro("photos pull " + id + " 2", port, documents.path(), work);
    EXPECT_EQ(secondId.status, 2);
    EXPECT_NE(secondId.err.find("one id"), std::string::npos) << secondId.err;
    EXPECT_FALSE(ztest::fileExists(work + "/2"));
    ztest::writeFile(work + "/mine.png", "mine");
    EXPECT_EQ(runZentro("photos pull " + id + " mine.png", port, documents.path(), work).status, 2);
    EXPECT_EQ(ztest::readFile(work + "/mine.png"), "mine");
    EXPECT_EQ(runZentro("photos pull " + id + " mine.png --force", port, documents.path(), work).status, 0);
    EXPECT_TRUE(ztest::readFile(work + "/mine.png") == reference.fileAt(photo["path"]));

    const auto photos = list("photos list");
    const int doomed = photos[0]["id"];
    EXPECT_EQ(runZentro("photos delete " + std::to_string(doomed), port, documents.path()).status, 0);
    const auto after = list("photos list");
    EXPECT_EQ(after.size() + 1, photos.size());
    for (const auto& item : after) EXPECT_NE(item["id"].get<int>(), doomed);
    ZentroRun missing = runZentro("photos delete " + std::to_string(doomed), port, documents.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such id"), std::string::npos) << missing.err;
    EXPECT_EQ(runZentro("photos pull 999999", port, documents.path()).status, 1);
}

TEST_F(Cli, AppsExportAndUninstall) {
    ztest::VirtualPhone phone(kSeededPhone);
    const int port = phone.adbPort();
    ASSERT_EQ(runZentro("prepare", port, documents.path()).status, 0);
    ZentroRun run = runZentro("--json apps list", port, documents.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto apps = nlohmann::json::parse(run.out);
    ASSERT_FALSE(apps.empty());
    for (const auto& app : apps) EXPECT_FALSE(app["system"].get<bool>()) << "system apps only with --system";
    const std::string package = apps[0]["package"];

    const std::string apk = documents.file("saved.apk");
    ZentroRun exported = runZentro("apps export " + package + " '" + apk + "'", port, documents.path());
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(ztest::readFile(apk).find(package), std::string::npos);
    EXPECT_EQ(runZentro("apps export " + package + " '" + apk + "'", port, documents.path()).status, 2)
        << "an existing file is not replaced";
    EXPECT_EQ(runZentro("apps export com.example.absent '" + documents.file("absent.apk") + "'", port,
                        documents.path())
                  .status,
              1);

    ZentroRun removed = runZentro("apps uninstall " + package, port, documents.path());
    ASSERT_EQ(removed.status, 0) << removed.err;
    const auto left = nlohmann::json::parse(runZentro("--json apps list", port, documents.path()).out);
    EXPECT_EQ(left.size() + 1, apps.size());
    EXPECT_EQ(runZentro("apps uninstall " + package, port, documents.path()).status, 1);
    EXPECT_EQ(runZentro("apps install '" + documents.file("none.apk") + "'", port, documents.path()).status,
              2);
}

TEST_F(Cli, MediaCopiesToTheOtherPhone) {
    ztest::VirtualPhone phone(
        R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 41}, {"serial": "ZX1G22ABCD000001", "seed": 42}]})");
    const int port = phone.adbPort();
    ASSERT_EQ(runZentro("prepare", port, documents.path()).status, 0);
    ASSERT_EQ(runZentro("-d 1 prepare", port, documents.path()).status, 0);
    const auto tracks = nlohmann::json::parse(runZentro("--json music list", port, documents.path()).out);
    ASSERT_FALSE(tracks.empty());
    const auto& track = tracks[0];
    ZentroRun copy =
        runZentro("music copy " + std::to_string(track["id"].get<int>()) + " --to 1 --name copied.mp3", port,
                  documents.path());
    ASSERT_EQ(copy.status, 0) << copy.err;
    const auto there = nlohmann::json::parse(runZentro("-d 1 --json music list", port, documents.path()).out);
    bool found = false;
    for (const auto& item : there) {
        const std::string path = item["path"];
        if (path.size() > 10 && path.substr(path.size() - 10) == "copied.mp3") {
            found = true;
            EXPECT_EQ(item["size"], track["size"]);
        }
    }
    EXPECT_TRUE(found) << there.dump();

    // Photos have no phone-to-phone export: they go through this computer.
    const auto photos = nlohmann::json::parse(runZentro("--json photos list", port, documents.path()).out);
    ASSERT_FALSE(photos.empty());
    ZentroRun photo =
        runZentro("photos copy " + std::to_string(photos[0]["id"].get<int>()) + " --to 1 --name through.png",
                  port, documents.path());
    ASSERT_EQ(photo.status, 0) << photo.err;
    EXPECT_NE(photo.out.find("copied photo"), std::string::npos) << photo.out;
    const auto arrived =
        nlohmann::json::parse(runZentro("-d 1 --json photos list", port, documents.path()).out);
    auto copied = std::find_if(arrived.begin(), arrived.end(), [](const auto& item) {
        return item["path"].template get<std::string>().find("through") != std::string::npos;
    });
    ASSERT_NE(copied, arrived.end()) << arrived.dump();
    EXPECT_EQ((*copied)["size"], photos[0]["size"]);
    const char* tmp = std::getenv("TMPDIR");
    for (const auto& entry : std::filesystem::directory_iterator(tmp != nullptr && *tmp ? tmp : "/tmp"))
        EXPECT_NE(entry.path().filename().string().rfind("zentro-copy-", 0), 0u)
            << "left behind: " << entry.path();
    EXPECT_EQ(runZentro("music copy 1 --to 0", port, documents.path()).status, 2);
}

TEST_F(Cli, CtrlCEndsARefreshAndATransferWithStatus130) {
    // A slow phone: every message page and every photo chunk takes a while.
    ztest::VirtualPhone phone(R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 41,
        "sizes": {"messages": 3000},
        "companionFaults": {"getsmsPart10": {"delayMs": 20}, "getdcimdata": {"delayMs": 150}}}]})");
    const int port = phone.adbPort();
    ASSERT_EQ(runZentro("prepare", port, documents.path()).status, 0);
    {
        BackgroundZentro list("sms list", port, documents.path());
        ASSERT_TRUE(list.waitForError("reading messages")) << list.err();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto [status, seconds] = list.interrupt();
        EXPECT_EQ(status, 130) << list.err();
        EXPECT_GE(seconds, 0.0);
        EXPECT_LT(seconds, 2.0) << "the refresh stops after the page it is on";
        EXPECT_NE(list.err().find("interrupted"), std::string::npos) << list.err();
    }
    const auto photos = nlohmann::json::parse(runZentro("--json photos list", port, documents.path()).out);
    ASSERT_FALSE(photos.empty());
    auto largest = photos[0];
    for (const auto& item : photos) {
        if (item["size"].get<int64_t>() > largest["size"].get<int64_t>()) largest = item;
    }
    ASSERT_GT(largest["size"].get<int64_t>(), 4 * 4096) << "a photo of several chunks";
    const std::string target = documents.file("photo.png");
    {
        BackgroundZentro pull("photos pull " + std::to_string(largest["id"].get<int>()) + " '" + target + "'",
                              port, documents.path());
        ASSERT_TRUE(pull.waitForError("pulling")) << pull.err();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const auto [status, seconds] = pull.interrupt();
        EXPECT_EQ(status, 130) << pull.err();
        EXPECT_GE(seconds, 0.0);
        EXPECT_LT(seconds, 2.0) << "the transfer stops after the chunk it is on";
        EXPECT_NE(pull.err().find("kept"), std::string::npos) << pull.err();
    }
    EXPECT_FALSE(ztest::fileExists(target)) << "a short file never stands under the name";
    const std::string partial = ztest::readFile(target + ".partial");
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(static_cast<int64_t>(partial.size()), largest["size"].get<int64_t>());
}

TEST_F(Cli, DemoRunsEndToEndAndLeavesNothingRunning) {
    const std::string out = documents.file("demo");
    ZentroRun demo = runZentro("demo --out '" + out + "'", 1, documents.path());
    ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
    size_t at = 0;
    for (const char* section :
         {"== 1. Detect", "== 2. Prepare", "== 3. What is on it", "== 4. Latest conversations",
          "== 5. Contacts", "== 6. Calendar", "== 7. Applications", "== 8. Download", "== 9. Upload",
          "== 10. Take a screenshot", "== Stop the phone", "== Where everything went"}) {
        const size_t found = demo.out.find(section, at);
        EXPECT_NE(found, std::string::npos) << section << "\n" << demo.out;
        if (found != std::string::npos) at = found;
    }
    EXPECT_EQ((demo.out + demo.err).find('\033'), std::string::npos) << "no terminal codes into a pipe";
    EXPECT_EQ(ztest::readFile(out + "/screenshot.png").substr(0, 4), "\x89PNG");

    // The phone's adb server is gone once the demo has ended.
    int port = 0;
    const size_t said = demo.out.find("listens on 127.0.0.1:");
    ASSERT_NE(said, std::string::npos);
    port = std::atoi(demo.out.c_str() + said + std::strlen("listens on 127.0.0.1:"));
    ASSERT_GT(port, 0);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_NE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

} // namespace
