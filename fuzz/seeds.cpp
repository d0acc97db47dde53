// Writes the fuzz targets' seed corpora from the virtual phone's own replies: a seeded phone's
// companion answers the commands the library sends, and each answer is laid out as the target
// that reads it expects (a selector byte, a capacity, the framed reply ...).
//   zentro_fuzz_seeds <folder>    writes <folder>/<target>/<n>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "companion/codec.h"
#include "companion/commands.h"
#include "companion/companion.h"
#include "device.h"

namespace fs = std::filesystem;
using namespace zsim::companion;

namespace {

fs::path g_root;
std::map<std::string, int> g_counts;

void seed(const std::string& target, const std::string& bytes) {
    const fs::path folder = g_root / target;
    fs::create_directories(folder);
    std::ofstream(folder / std::to_string(g_counts[target]++), std::ios::binary) << bytes;
}

std::string framed(const std::string& body) { return leInt32(static_cast<int32_t>(body.size())) + body; }

// The decoded fields of each record of a page.
std::vector<std::map<std::string, std::string>> records(const std::string& text) {
    std::vector<std::map<std::string, std::string>> out;
    for (std::string_view part : split(text, '.')) {
        if (part.empty()) continue;
        auto& record = out.emplace_back();
        for (std::string_view field : split(part, ';')) {
            const size_t colon = field.find(':');
            if (colon == std::string_view::npos) continue;
            record[std::string(field.substr(0, colon))] =
                hexDecode(field.substr(colon + 1)).value_or(std::string(field.substr(colon + 1)));
        }
    }
    return out;
}

// Texts separated by zero bytes behind a selector byte: the builders' input.
std::string texts(char op, std::initializer_list<std::string> parts) {
    std::string out(1, op);
    bool first = true;
    for (const std::string& part : parts) {
        if (!first) out += '\0';
        out += part;
        first = false;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    g_root = argv[1];

    auto device = std::make_shared<zsim::Device>("ZX1G22ABCD0000", 7);
    device->sizes = {.messages = 12,
                     .calls = 9,
                     .events = 7,
                     .contacts = 8,
                     .apps = 3,
                     .photos = 3,
                     .music = 3,
                     .videos = 2};
    device->setProperty("ro.product.manufacturer", "Acme");
    device->setProperty("ro.product.model", "A1 Pro/5G");
    device->setProperty("ro.build.version.release", "4.4.2");
    CompanionState phone(*device);
    auto ask = [&](const std::string& command) { return phone.handle(makeRequest(command)); };

    struct Page {
        const char* command;
        char kind; // the records target's selector
    };
    const Page pages[] = {{"getsmsPart10:0;", 0},     {"getsmsPart10:5;", 0},
                          {"getcalllogpart10:0;", 1}, {"getcalendarpart10:0;", 2},
                          {"getcontactpart10:0;", 3}, {"getcontactpart10:5;", 3}};
    for (const Page& page : pages) {
        const std::string reply = ask(page.command);
        seed("fuzz_reply_grammar", reply);
        seed("fuzz_records", std::string(1, page.kind) + reply);
        seed("fuzz_channel", std::string(1, static_cast<char>(5 + page.kind)) + "\xff\x07" + framed(reply));
    }
    const char* detailCommands[] = {"getdcimindexinfo:0;", "getmusicindexinfo:0;", "getvideoindexinfo:0;"};
    for (int kind = 0; kind < 3; ++kind) {
        const std::string reply = ask(detailCommands[kind]);
        seed("fuzz_reply_grammar", reply);
        seed("fuzz_records", std::string(1, static_cast<char>(4 + kind)) + reply);
        seed("fuzz_channel", std::string(1, static_cast<char>(2 + kind)) + "\xff\x07" + framed(reply));
    }
    const std::string app = ask("getappindexinfo:0;");
    seed("fuzz_reply_grammar", app);
    seed("fuzz_channel", std::string("\x01\xff\x07", 3) + framed(app));
    const std::string info = ask("getDevciesInfo;");
    seed("fuzz_reply_grammar", info);
    seed("fuzz_device_info", info);
    seed("fuzz_channel", std::string("\x00\x00\x04", 3) + framed(ask("getsmsCount;")));
    seed("fuzz_channel", std::string("\x00\x10\x00", 3) + framed(info));
    const std::string thumb = ask("getdcimthumb:1;");
    seed("fuzz_channel", std::string("\x09\x00\x00", 3) + framed(thumb.substr(0, 600)));

    // The codec: output size, capacity, then a reply value and its decoded text.
    for (auto record : records(ask("getsmsPart10:0;"))) {
        const std::string body = record.count("BODY") ? record.at("BODY") : "";
        seed("fuzz_hex_codec", std::string("\x00\x04\xfc\x03", 4) + body);
        seed("fuzz_hex_codec", std::string("\x07\x00\x05\x00", 4) + hexEncode(body));
        seed("fuzz_commands", texts(0, {record.count("ADDRESS") ? record.at("ADDRESS") : "", body,
                                        record.count("DATE") ? record.at("DATE") : "", "1", "2"}));
    }
    for (auto record : records(ask("getcalllogpart10:0;"))) {
        seed("fuzz_commands",
             texts(1, {record["NUMBER"], record["DATE"], record["TYPE"], record["DURATION"]}));
    }
    for (auto record : records(ask("getcalendarpart10:0;"))) {
        seed("fuzz_commands",
             texts(2, {record["TITLE"], record["START"], record["END"], record["EVENTLOC"], record["EVENTTZ"],
                       record["DESCRIPTION"], record["HASALARM"], record["MINUTES"], record["RRULE"]}));
    }
    for (auto record : records(ask("getcontactpart10:0;"))) {
        seed("fuzz_commands", texts(3, {record["NAME"], record["PHONE_PHONE"]}));
        const std::string whole =
            texts(5, {"", record["NAME"], "", "Nick", record["PHONE_PHONE"], record["PHONE_HOME"],
                      record["PHONE_WORK"], record["WEBSITE"], record["EMAIL_HOME"], record["BIRTHDAY"], "",
                      record["NOTE"], record["ORG_NAME"], record["ORG_TITLE"], "", "", record["ADDRESS_HOME"],
                      record["ADDRESS_WORK"]});
        seed("fuzz_commands", whole);
        seed("fuzz_commands", std::string(1, 4) + whole.substr(1));
        seed("fuzz_commands", texts(6, {record["CONTACTID"], record["NOTE"] + "x", "12345"}));
    }
    seed("fuzz_commands", texts(7, {"IMG_0001.jpg", "open_photofile"}));

    // adb's device list as the virtual phone's server makes the client print it, and the
    // properties it reports.
    const std::string header = "List of devices attached\n";
    const std::string row = device->serial + "\t" + device->state() + "\n";
    seed("fuzz_device_list", std::string(1, 0) + header + row + "\n");
    seed("fuzz_device_list", std::string(1, 1) + header + row + "emulator-5554\toffline\n\n" + '\0' + header +
                                 "emulator-5554\tunauthorized\r\n" + row + "\r\n");
    for (const char* property : {"ro.build.version.release", "ro.product.model", "ro.product.manufacturer"}) {
        seed("fuzz_properties", device->property(property) + "\n");
        seed("fuzz_properties", device->property(property) + "\r\n");
    }

    // Pairing: the registration a phone sends and the QR text it read.
    const std::string registration = registerMessage(device->serial, kCommandPortA);
    seed("fuzz_pairing", registration);
    seed("fuzz_pairing", "PC_SERVERIP:127.0.0.1:20166;" + registration + registration);
    return 0;
}
