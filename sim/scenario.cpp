#include "scenario.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <set>

namespace zsim {

namespace {

using nlohmann::json;

uint32_t mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

struct Maker {
    const char* name;
    const char* brand;
    const char* models[3];
    const char* code;
};

// Invented makers: the library copies these into fixed fields, so some carry blanks and
// hyphens on purpose.
const Maker kMakers[] = {
    {"Nordvik", "nordvik", {"NV-A52", "NV-X10 Pro", "NV-M31s"}, "NV"},
    {"Kestrel", "kestrel", {"Kestrel K20 Pro", "K9 Lite", "K30"}, "KS"},
    {"Lumora", "lumora", {"Lumora One", "LM-G8", "Lumora 5G Plus"}, "LM"},
    {"Tavian", "tavian", {"TV-P40", "Tavian Note 11", "TV-Y7"}, "TV"},
    {"Orbis", "orbis", {"Orbis Q3", "OB-Z2 Flip", "Orbis Mini"}, "OB"},
};

struct Release {
    const char* version;
    const char* sdk;
};
const Release kReleases[] = {{"8.1.0", "27"}, {"9", "28"},  {"10", "29"},
                             {"11", "30"},    {"12", "31"}, {"13", "33"}};

const char* const kFolders[] = {
    "/sdcard/DCIM/Camera", "/sdcard/Pictures", "/sdcard/Images",   "/sdcard/Music",
    "/sdcard/Movies",      "/sdcard/Videos",   "/sdcard/Download", "/sdcard/Documents",
    "/sdcard/Android",     "/data/local/tmp",  "/data/app",
};

template <size_t N, typename T>
const T& pick(const T (&items)[N], uint32_t value) {
    return items[value % N];
}

bool checkKeys(const json& object, std::initializer_list<const char*> allowed, const std::string& where,
               std::string& error) {
    if (!object.is_object()) {
        error = where + " must be an object";
        return false;
    }
    std::set<std::string> names(allowed.begin(), allowed.end());
    for (const auto& [key, value] : object.items()) {
        if (names.count(key) == 0) {
            error = "unknown key '" + key + "' in " + where;
            return false;
        }
    }
    return true;
}

bool faultFromJson(const json& j, CompanionFault& out, std::string& error) {
    if (!checkKeys(j, {"kind", "delayMs", "times", "reply"}, "companion fault", error)) return false;
    static const std::pair<const char*, CompanionFault::Kind> kinds[] = {
        {"None", CompanionFault::Kind::None},
        {"CloseMidBody", CompanionFault::Kind::CloseMidBody},
        {"ShortBody", CompanionFault::Kind::ShortBody},
        {"Oversize", CompanionFault::Kind::Oversize},
        {"Empty", CompanionFault::Kind::Empty},
        {"CustomReply", CompanionFault::Kind::CustomReply},
        {"SplitLength", CompanionFault::Kind::SplitLength},
        {"HugeLength", CompanionFault::Kind::HugeLength},
        {"Close", CompanionFault::Kind::Close},
    };
    CompanionFault f;
    const std::string kind = j.value("kind", "None");
    bool found = false;
    for (const auto& [name, value] : kinds) {
        if (kind == name) {
            f.kind = value;
            found = true;
        }
    }
    if (!found) {
        error = "unknown fault kind '" + kind + "'";
        return false;
    }
    f.delayMs = j.value("delayMs", 0);
    f.times = j.value("times", -1);
    f.reply = j.value("reply", "");
    if (f.delayMs < 0) {
        error = "delayMs must not be negative";
        return false;
    }
    out = f;
    return true;
}

bool applyDevice(const json& j, Device& d, std::vector<std::string>& wifiJoiners, std::string& error) {
    if (j.contains("state")) d.setState(j.at("state").get<std::string>());
    if (j.contains("properties")) {
        if (!j.at("properties").is_object()) {
            error = "properties must be an object";
            return false;
        }
        for (const auto& [name, value] : j.at("properties").items())
            d.setProperty(name, value.get<std::string>());
    }
    for (const auto& pkg : j.value("packages", json::array())) {
        const std::string name = pkg.get<std::string>();
        d.addPackage(name);
        d.files.write("/data/app/" + name + "-1.apk", "package=" + name + "\n");
    }
    d.companionRunning = j.value("companionRunning", false);
    d.hostile = j.value("hostile", false);
    d.tricky = j.value("tricky", false);
    d.companionNeverStarts = j.value("companionNeverStarts", false);
    for (const auto& prefix : j.value("hangingShellPrefixes", json::array()))
        d.addHangingShellPrefix(prefix.get<std::string>());
    d.adbDelayMs = j.value("adbDelayMs", 0);
    if (d.adbDelayMs < 0) {
        error = "adbDelayMs must not be negative";
        return false;
    }
    if (j.contains("wifiAddress")) d.setWifiAddress(j.at("wifiAddress").get<std::string>());
    if (j.value("wifiJoin", false)) wifiJoiners.push_back(d.serial);
    if (j.contains("sizes")) {
        const json& s = j.at("sizes");
        if (!checkKeys(s, {"messages", "calls", "events", "contacts", "apps", "photos", "music", "videos"},
                       "sizes", error))
            return false;
        d.sizes.messages = s.value("messages", 0);
        d.sizes.calls = s.value("calls", 0);
        d.sizes.events = s.value("events", 0);
        d.sizes.contacts = s.value("contacts", 0);
        d.sizes.apps = s.value("apps", 0);
        d.sizes.photos = s.value("photos", 0);
        d.sizes.music = s.value("music", 0);
        d.sizes.videos = s.value("videos", 0);
    }
    if (j.contains("companionFaults")) {
        if (!j.at("companionFaults").is_object()) {
            error = "companionFaults must be an object";
            return false;
        }
        for (const auto& [command, fj] : j.at("companionFaults").items()) {
            CompanionFault f;
            if (!faultFromJson(fj, f, error)) return false;
            d.setCompanionFault(command, f);
        }
    }
    if (j.contains("files")) {
        if (!j.at("files").is_object()) {
            error = "files must be an object";
            return false;
        }
        for (const auto& [path, content] : j.at("files").items())
            d.files.write(path, content.get<std::string>());
    }
    return true;
}

} // namespace

std::string defaultSerial(int index) {
    char text[32];
    std::snprintf(text, sizeof text, "ZX1G22ABCD0000%02d", index % 100);
    return text;
}

uint32_t deviceSeed(uint32_t seed, int index) {
    return mix(seed * 0x9e3779b9u + static_cast<uint32_t>(index) + 1u);
}

std::shared_ptr<Device> makeDevice(std::string serial, uint32_t seed) {
    auto d = std::make_shared<Device>(std::move(serial), seed);
    const Maker& maker = pick(kMakers, mix(seed));
    const std::string model = maker.models[mix(seed + 1) % 3];
    const Release& release = pick(kReleases, mix(seed + 2));

    // A firmware build id in the usual shape: maker code, model digits, build letters.
    static const char letters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ";
    std::string pda = maker.code;
    uint32_t r = mix(seed + 3);
    for (int i = 0; i < 3; ++i, r /= 10) pda += static_cast<char>('0' + r % 10);
    pda += "FXXU";
    r = mix(seed + 4);
    pda += static_cast<char>('1' + r % 9);
    for (int i = 0; i < 4; ++i, r /= 24) pda += letters[r % 24];

    std::string device = maker.brand;
    device += "_";
    for (char c : model)
        device += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';

    d->setProperty("ro.product.manufacturer", maker.name);
    d->setProperty("ro.product.brand", maker.brand);
    d->setProperty("ro.product.model", model);
    d->setProperty("ro.product.name", device);
    d->setProperty("ro.product.device", device);
    d->setProperty("ro.product.cpu.abi", "arm64-v8a");
    d->setProperty("ro.build.version.release", release.version);
    d->setProperty("ro.build.version.sdk", release.sdk);
    d->setProperty("ro.build.PDA", pda);
    d->setProperty("ro.build.display.id", pda);
    d->setProperty("ro.serialno", d->serial);
    d->setProperty("sys.boot_completed", "1");
    for (const char* folder : kFolders) d->files.makeFolder(folder);
    return d;
}

bool loadScenario(const std::string& jsonText, int defaultCount, uint32_t seed, Scenario& out,
                  std::string& error) {
    out = Scenario();
    if (jsonText.find_first_not_of(" \t\r\n") == std::string::npos) {
        for (int i = 0; i < defaultCount; ++i)
            out.devices.push_back(makeDevice(defaultSerial(i), deviceSeed(seed, i)));
        return true;
    }
    try {
        const json root = json::parse(jsonText);
        if (!checkKeys(root, {"seed", "devices", "adbServerVersion"}, "the scenario", error)) return false;
        seed = root.value("seed", seed);
        out.adbServerVersion = root.value("adbServerVersion", 0);
        if (!root.contains("devices")) {
            for (int i = 0; i < defaultCount; ++i)
                out.devices.push_back(makeDevice(defaultSerial(i), deviceSeed(seed, i)));
            return true;
        }
        const json& list = root.at("devices");
        if (!list.is_array()) {
            error = "devices must be an array";
            return false;
        }
        std::set<std::string> serials;
        for (size_t i = 0; i < list.size(); ++i) {
            const json& j = list[i];
            const std::string where = "device " + std::to_string(i);
            if (!checkKeys(j,
                           {"serial", "seed", "state", "properties", "packages", "companionRunning",
                            "companionNeverStarts", "hangingShellPrefixes", "adbDelayMs", "wifiAddress",
                            "wifiJoin", "sizes", "companionFaults", "files", "hostile", "tricky"},
                           where, error))
                return false;
            const int index = static_cast<int>(i);
            std::string serial = j.value("serial", defaultSerial(index));
            if (serial.empty() || serial.find_first_of(" \t\r\n") != std::string::npos) {
                error = where + ": a serial must be one word";
                return false;
            }
            if (!serials.insert(serial).second) {
                error = where + ": serial " + serial + " is used twice";
                return false;
            }
            auto d = makeDevice(serial, j.value("seed", deviceSeed(seed, index)));
            if (!applyDevice(j, *d, out.wifiJoiners, error)) {
                error = where + ": " + error;
                return false;
            }
            out.devices.push_back(std::move(d));
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

bool parseCompanionFault(const std::string& jsonText, CompanionFault& out, std::string& error) {
    try {
        return faultFromJson(nlohmann::json::parse(jsonText), out, error);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

} // namespace zsim
