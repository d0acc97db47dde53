// Scenario files and the control port's commands, without sockets.
#include <gtest/gtest.h>

#include "adb/device_list.h"
#include "adb/server.h"
#include "control.h"
#include "scenario.h"

using namespace zsim;

TEST(Scenario, DefaultPhonesFollowTheSeed) {
    Scenario a, b, c;
    std::string error;
    ASSERT_TRUE(loadScenario("", 3, 7, a, error)) << error;
    ASSERT_TRUE(loadScenario("  \n", 3, 7, b, error)) << error;
    ASSERT_TRUE(loadScenario("{\"seed\": 8}", 3, 7, c, error)) << error;
    ASSERT_EQ(a.devices.size(), 3u);
    EXPECT_EQ(a.devices[0]->serial, "ZX1G22ABCD000000");
    EXPECT_EQ(a.devices[2]->serial, "ZX1G22ABCD000002");

    for (size_t i = 0; i < 3; ++i) {
        const Device& d = *a.devices[i];
        EXPECT_EQ(d.properties(), b.devices[i]->properties());
        EXPECT_EQ(d.state(), "device");
        for (const char* name : {"ro.product.manufacturer", "ro.product.model", "ro.build.version.release"})
            EXPECT_FALSE(d.property(name).empty()) << name;
        EXPECT_EQ(d.property("ro.serialno"), d.serial);
        EXPECT_TRUE(d.files.stat("/sdcard/DCIM") && d.files.stat("/sdcard/Music"));
    }
    // Another seed gives other phones (the firmware id alone has plenty of room to differ).
    EXPECT_NE(a.devices[0]->property("ro.build.PDA"), c.devices[0]->property("ro.build.PDA"));
    EXPECT_NE(a.devices[0]->property("ro.build.PDA"), a.devices[1]->property("ro.build.PDA"));
}

TEST(Scenario, DevicesTakeWhatTheFileSays) {
    const std::string text = R"({
      "devices": [
        {"serial": "AAA", "state": "unauthorized", "properties": {"ro.product.model": "Test Model"},
         "packages": ["com.vantrey.pocketdesk"], "companionNeverStarts": true,
         "hangingShellPrefixes": ["am force-stop"], "adbDelayMs": 25, "wifiAddress": "127.0.0.9",
         "wifiJoin": true, "sizes": {"messages": 100000},
         "companionFaults": {"hello-transfer": {"kind": "CustomReply", "reply": "HI-PC ", "times": 1}},
         "files": {"/sdcard/Download/a.txt": "hello"}},
        {}
      ]})";
    Scenario s;
    std::string error;
    ASSERT_TRUE(loadScenario(text, 5, 7, s, error)) << error;
    ASSERT_EQ(s.devices.size(), 2u);
    Device& d = *s.devices[0];
    EXPECT_EQ(d.serial, "AAA");
    EXPECT_EQ(d.state(), "unauthorized");
    EXPECT_EQ(d.property("ro.product.model"), "Test Model");
    EXPECT_FALSE(d.property("ro.product.manufacturer").empty()); // defaults stay under the overrides
    EXPECT_TRUE(d.hasPackage("com.vantrey.pocketdesk"));
    EXPECT_TRUE(d.files.stat("/data/app/com.vantrey.pocketdesk-1.apk"));
    EXPECT_TRUE(d.companionNeverStarts);
    EXPECT_TRUE(d.shellHangs("am force-stop x"));
    EXPECT_EQ(d.adbDelayMs, 25);
    EXPECT_EQ(d.wifiAddress(), "127.0.0.9");
    EXPECT_EQ(s.wifiJoiners, std::vector<std::string>{"AAA"});
    EXPECT_EQ(d.sizes.messages, 100000);
    EXPECT_EQ(d.files.read("/sdcard/Download/a.txt"), "hello");
    const CompanionFault fault = d.takeCompanionFault("hello-transfer");
    EXPECT_EQ(fault.kind, CompanionFault::Kind::CustomReply);
    EXPECT_EQ(fault.reply, "HI-PC ");
    EXPECT_EQ(s.devices[1]->serial, "ZX1G22ABCD000001");
}

TEST(Scenario, MistakesAreRefusedWithAReason) {
    const char* bad[] = {
        "{",                                                  // not JSON
        "[]",                                                 // not an object
        R"({"device": []})",                                  // typo in a key
        R"({"devices": [{"serail": "x"}]})",                  // typo in a device key
        R"({"devices": [{"serial": "a b"}]})",                // two words
        R"({"devices": [{"serial": "A"}, {"serial": "A"}]})", // twice
        R"({"devices": [{"state": 3}]})",                     // wrong type
        R"({"devices": [{"companionFaults": {"x": {"kind": "Sometimes"}}}]})",
        R"({"devices": [{"adbDelayMs": -1}]})",
    };
    for (const char* text : bad) {
        Scenario s;
        std::string error;
        EXPECT_FALSE(loadScenario(text, 2, 7, s, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(Control, CommandsChangeThePhones) {
    auto devices = std::make_shared<adb::DeviceList>();
    devices->add(makeDevice("A", 1));
    adb::AdbServer server(devices); // not started: the control port only needs its log and forwards
    ControlServer control(devices, server);
    auto a = devices->find("A");
    a->log.add("shell:echo 'two\nlines' \\ end");

    // Each command with its reply, in order; what they change is checked below.
    const std::pair<const char*, const char*> script[] = {
        {"ping", "ok\n"},
        {"state A offline", "ok\n"},
        {"add B 5", "ok\n"},
        {"add B", "error device B exists\n"},
        {"devices", "A offline\nB device\nend\n"},
        {"remove B", "ok\n"},
        {"devices", "A offline\nend\n"},
        {"hang A am force-stop com.x", "ok\n"},
        {"prop A ro.product.model Big Phone 2", "ok\n"},
        {"delay A 150", "ok\n"},
        {"companion A start", "ok\n"},
        {R"(fault A hello-transfer {"kind": "CustomReply", "reply": "HI-PC "})", "ok\n"},
        {"log A", "shell:echo 'two\\nlines' \\\\ end\nend\n"},
        {"clearlog A", "ok\n"},
        {"log A", "end\n"},
        // Refusals name the problem; the listing commands still end their reply.
        {"log Z", "error no device Z\nend\n"},
        {"state Z device", "error no device Z\n"},
        {"frobnicate A", "error unknown command frobnicate\n"},
        {"", "error empty command\n"},
    };
    for (const auto& [command, reply] : script) EXPECT_EQ(control.handle(command), reply) << command;
    EXPECT_EQ(a->state(), "offline");
    EXPECT_TRUE(a->shellHangs("am force-stop com.x now"));
    EXPECT_FALSE(a->shellHangs("am force-stop"));
    EXPECT_FALSE(a->shellHangs("echo am force-stop com.x")) << "a prefix, not anywhere in the line";
    EXPECT_EQ(a->property("ro.product.model"), "Big Phone 2");
    EXPECT_EQ(a->adbDelayMs, 150);
    EXPECT_TRUE(a->companionRunning);
    EXPECT_EQ(a->takeCompanionFault("hello-transfer").reply, "HI-PC ");
    EXPECT_EQ(unescapeLogEntry("shell:echo 'two\\nlines' \\\\ end"), "shell:echo 'two\nlines' \\ end");

    const char* undo[] = {"unhang A", "companion A stop", R"(fault A hello-transfer {"kind": "Empty"})",
                          "clearfaults A"};
    for (const char* command : undo) EXPECT_EQ(control.handle(command), "ok\n") << command;
    EXPECT_FALSE(a->shellHangs("am force-stop com.x now"));
    EXPECT_FALSE(a->companionRunning);
    EXPECT_EQ(a->takeCompanionFault("hello-transfer").kind, CompanionFault::Kind::None);

    for (const char* bad :
         {"delay A -4", "delay A 99999999999999", "fault A x {nope", "wifi-join A 127.0.0.1"})
        EXPECT_EQ(control.handle(bad).substr(0, 6), "error ") << bad;
}
