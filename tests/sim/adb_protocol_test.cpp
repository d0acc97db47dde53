// The pure parts of the adb server: request framing and the parsing of host requests.
#include <gtest/gtest.h>

#include "adb/framing.h"
#include "adb/host_request.h"

using namespace zsim::adb;

TEST(AdbFraming, LengthsAreFourHexDigitsAndRepliesAreCutAtTheLimit) {
    EXPECT_EQ(parseHexLength("000c"), 12u);
    EXPECT_EQ(parseHexLength("FFFF"), 0xffffu);
    EXPECT_EQ(parseHexLength("00aB"), 0xabu);
    for (const char* bad : {"00g0", " 00c", "-001", "0c", "0000c"}) EXPECT_FALSE(parseHexLength(bad)) << bad;

    EXPECT_EQ(okayWith("0029"), "OKAY00040029");
    EXPECT_EQ(okayWith(""), "OKAY0000");
    EXPECT_EQ(fail("device offline"), "FAIL000edevice offline");
    const std::string framed = fail(std::string(0x10005, 'x'));
    EXPECT_EQ(framed.substr(0, 8), "FAILffff");
    EXPECT_EQ(framed.size(), 8u + 0xffff);
    EXPECT_EQ(syncHeader("DATA", 65536), std::string("DATA\0\0\1\0", 8));
}

TEST(AdbHostRequest, PrefixesNameTheTarget) {
    auto r = parseHostRequest("host:version");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->target, Target::None);
    EXPECT_EQ(r->service, "version");

    // A network serial keeps its port; the service behind it keeps its own colons.
    r = parseHostRequest("host-serial:127.0.0.1:5555:forward:tcp:30148;tcp:20148");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->target, Target::Serial);
    EXPECT_EQ(r->serial, "127.0.0.1:5555");
    EXPECT_EQ(r->service, "forward:tcp:30148;tcp:20148");

    r = parseHostRequest("host-transport-id:3:features");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->target, Target::TransportId);
    EXPECT_EQ(r->transportId, 3u);
    for (const char* bad :
         {"host-transport-id:x:features", "host-serial::features", "shell:getprop", "sync:"})
        EXPECT_FALSE(parseHostRequest(bad)) << bad;

    auto t = parseTransportSwitch("transport:ZX1");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->target, Target::Serial);
    EXPECT_EQ(t->serial, "ZX1");
    EXPECT_FALSE(t->replyId);
    t = parseTransportSwitch("tport:any");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->target, Target::Any);
    EXPECT_TRUE(t->replyId);
    t = parseTransportSwitch("transport-id:7");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->target, Target::TransportId);
    EXPECT_EQ(t->transportId, 7u);
    for (const char* bad :
         {"tport:serial:", "tport:nonsense", "transport-id:99999999999999999999", "devices"})
        EXPECT_FALSE(parseTransportSwitch(bad)) << bad;
}

TEST(AdbHostRequest, ForwardSpecs) {
    auto f = parseForward("forward:norebind:tcp:0;tcp:20149");
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->supported);
    EXPECT_TRUE(f->noRebind);
    EXPECT_EQ(f->localPort, 0);
    EXPECT_EQ(f->remotePort, 20149);
    EXPECT_FALSE(parseForward("forward:tcp:1;tcp:2")->noRebind);

    // Endpoints this phone does not have are understood but not supported.
    for (const char* odd :
         {"forward:tcp:1;localabstract:x", "forward:tcp:70000;tcp:1", "forward:tcp:1;tcp:0"}) {
        f = parseForward(odd);
        ASSERT_TRUE(f) << odd;
        EXPECT_FALSE(f->supported) << odd;
    }
    for (const char* bad : {"forward:tcp:1", "forward:;tcp:1", "killforward:tcp:1"})
        EXPECT_FALSE(parseForward(bad)) << bad;
    EXPECT_EQ(parseTcpEndpoint("tcp:65535"), 65535);
    EXPECT_FALSE(parseTcpEndpoint("tcp:"));
    EXPECT_FALSE(parseTcpEndpoint("tcp:12a"));
}
