// The phones a zentro-phone starts with: default devices from a seed, or a scenario file.
//
// Scenario JSON (every key optional; unknown keys are refused, so a typo is an error):
//   {
//     "seed": 7,                        // overrides --seed
//     "adbServerVersion": 41,           // what the adb server says it is (another client's)
//     "devices": [                      // absent: --devices default devices
//       {
//         "serial": "ZX1G22ABCD000000", // default: the default serial of its position
//         "seed": 123,                  // default: derived from the scenario seed and position
//         "state": "device",            // device | offline | unauthorized | removed | any word
//         "properties": {"ro.product.model": "X"},   // merged over the defaults
//         "packages": ["com.vantrey.pocketdesk"],     // installed (with /data/app/<p>-1.apk)
//         "companionRunning": false,
//         "companionNeverStarts": false,
//         "hangingShellPrefixes": ["am force-stop"],
//         "adbDelayMs": 0,
//         "wifiAddress": "127.0.0.2",
//         "wifiJoin": false,            // joins the --wifi-join pairing server
//         "sizes": {"messages": 500, "calls": 0, "events": 0, "contacts": 0,
//                   "apps": 0, "photos": 0, "music": 0, "videos": 0},
//         "companionFaults": {"hello-transfer": {"kind": "CustomReply", "reply": "HI-PC "}},
//         "files": {"/sdcard/Download/a.txt": "text"},
//         "hostile": false              // hostile names, texts, paths, counts and pages
//         "tricky": false               // look-alike records and media, empty and non-ASCII fields
//       }
//     ]
//   }
//
// A companion fault is {"kind": <None|CloseMidBody|ShortBody|Oversize|Empty|CustomReply|
// SplitLength|Close|HugeLength>, "delayMs": 0, "times": -1, "reply": ""}.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device.h"

namespace zsim {

struct Scenario {
    std::vector<std::shared_ptr<Device>> devices;
    std::vector<std::string> wifiJoiners; // serials marked "wifiJoin"
    int adbServerVersion = 0;             // 0: the version of the adb client it serves
};

// "ZX1G22ABCD0000" and the index in two digits: 16 characters.
std::string defaultSerial(int index);
// The seed of the device at `index` of a run with `seed`.
uint32_t deviceSeed(uint32_t seed, int index);
// A phone with properties and an /sdcard tree that follow from its seed.
std::shared_ptr<Device> makeDevice(std::string serial, uint32_t seed);

// Builds the devices of a scenario text ("" or blank: `defaultCount` default devices).
// False with `error` set on bad JSON or bad values.
bool loadScenario(const std::string& jsonText, int defaultCount, uint32_t seed, Scenario& out,
                  std::string& error);

bool parseCompanionFault(const std::string& jsonText, CompanionFault& out, std::string& error);

} // namespace zsim
