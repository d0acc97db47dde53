// The pure parts of the adb server: request framing and the parsing of host requests.
#include <gtest/gtest.h>

#include "adb/framing.h"
#include "adb/host_request.h"

using namespace zsim::adb;

TEST(AdbFraming, HexLengthsAcceptOnlyFourHexDigits)
{
    EXPECT_EQ(parseHexLength("000c"), 12u);
    EXPECT_EQ(parseHexLength("FFFF"), 0xffffu);
    EXPECT_EQ(parseHexLength("00aB"), 0xabu);
    EXPECT_FALSE(parseHexLength("00g0"));
    EXPECT_FALSE(parseHexLength(" 00c"));
    EXPECT_FALSE(parseHexLength("-001"));
    EXPECT_FALSE(parseHexLength("0c"));
    EXPECT_FALSE(parseHexLength("0000c"));
}

TEST(AdbFraming, RepliesCarryTheirLengthAndAreCutAtTheFramingLimit)
{
    EXPECT_EQ(okayWith("0029"), "OKAY00040029");
    EXPECT_EQ(okayWith(""), "OKAY0000");
    EXPECT_EQ(fail("device offline"), "FAIL000edevice offline");
    const std::string huge(0x10005, 'x');
    const std::string framed = fail(huge);
    EXPECT_EQ(framed.substr(0, 8), "FAILffff");
    EXPECT_EQ(framed.size(), 8u + 0xffff);

    std::string header = syncHeader("DATA", 65536);
    ASSERT_EQ(header.size(), 8u);
    EXPECT_EQ(header.substr(0, 4), "DATA");
    EXPECT_EQ(getLe32(reinterpret_cast<const unsigned char*>(header.data() + 4)), 65536u);
}

TEST(AdbHostRequest, PrefixesNameTheTarget)
{
    auto r = parseHostRequest("host:version");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->target, Target::None);
    EXPECT_EQ(r->service, "version");

    r = parseHostRequest("host-serial:ZX1G22ABCD000000:features");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->target, Target::Serial);
    EXPECT_EQ(r->serial, "ZX1G22ABCD000000");
    EXPECT_EQ(r->service, "features");

    // A network serial keeps its port; the service behind it keeps its own colons.
    r = parseHostRequest("host-serial:127.0.0.1:5555:forward:tcp:30148;tcp:20148");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->serial, "127.0.0.1:5555");
    EXPECT_EQ(r->service, "forward:tcp:30148;tcp:20148");

    r = parseHostRequest("host-transport-id:3:features");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->target, Target::TransportId);
    EXPECT_EQ(r->transportId, 3u);

    EXPECT_FALSE(parseHostRequest("host-transport-id:x:features"));
    EXPECT_FALSE(parseHostRequest("host-serial::features"));
    EXPECT_FALSE(parseHostRequest("shell:getprop"));
    EXPECT_FALSE(parseHostRequest("sync:"));
}

TEST(AdbHostRequest, TransportSwitches)
{
    auto t = parseTransportSwitch("tport:serial:ZX1G22ABCD000001");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->target, Target::Serial);
    EXPECT_EQ(t->serial, "ZX1G22ABCD000001");
    EXPECT_TRUE(t->replyId);

    t = parseTransportSwitch("transport:ZX1");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->serial, "ZX1");
    EXPECT_FALSE(t->replyId);

    t = parseTransportSwitch("tport:any");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->target, Target::Any);
    t = parseTransportSwitch("transport-id:7");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->target, Target::TransportId);
    EXPECT_EQ(t->transportId, 7u);

    EXPECT_FALSE(parseTransportSwitch("tport:serial:"));
    EXPECT_FALSE(parseTransportSwitch("tport:nonsense"));
    EXPECT_FALSE(parseTransportSwitch("transport-id:99999999999999999999"));
    EXPECT_FALSE(parseTransportSwitch("devices"));
}

TEST(AdbHostRequest, ForwardSpecs)
{
    auto f = parseForward("forward:tcp:30148;tcp:20148");
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->supported);
    EXPECT_FALSE(f->noRebind);
    EXPECT_EQ(f->localPort, 30148);
    EXPECT_EQ(f->remotePort, 20148);

    f = parseForward("forward:norebind:tcp:0;tcp:20149");
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->noRebind);
    EXPECT_EQ(f->localPort, 0);

    // Endpoints this phone does not have are understood but not supported.
    f = parseForward("forward:tcp:1;localabstract:x");
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->supported);
    f = parseForward("forward:tcp:70000;tcp:1");
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->supported);
    f = parseForward("forward:tcp:1;tcp:0");
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->supported);

    EXPECT_FALSE(parseForward("forward:tcp:1"));
    EXPECT_FALSE(parseForward("forward:;tcp:1"));
    EXPECT_FALSE(parseForward("killforward:tcp:1"));
    EXPECT_EQ(parseTcpEndpoint("tcp:65535"), 65535);
    EXPECT_FALSE(parseTcpEndpoint("tcp:"));
    EXPECT_FALSE(parseTcpEndpoint("tcp:12a"));
}
