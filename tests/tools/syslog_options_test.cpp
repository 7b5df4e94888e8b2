// The syslog relay's command line: where it listens, and what it cannot be combined with.
#include "common/options.h"
#include "parse_checks.h"
#include "testkit/case_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelsend;

namespace {

struct ListenCase {
    std::vector<std::string> args;
    std::string udpAddress;
    int udpPort;
    std::string tcpAddress;
    int tcpPort;
};

TEST(SyslogOptions, ListenWhereAskedAndOnLoopbackUnlessTold)
{
    const ListenCase cases[] = {
        {{"--syslog-udp", "514"}, "127.0.0.1", 514, "127.0.0.1", 0},
        {{"--syslog-tcp", "0.0.0.0:6514"}, "127.0.0.1", 0, "0.0.0.0", 6514},
        {{"--syslog-udp", "[::1]:514", "--syslog-tcp", "65535", "--port", "9"}, "::1", 514, "127.0.0.1", 65535},
        {{"--syslog-tcp", "logs.example:1514"}, "127.0.0.1", 0, "logs.example", 1514},
    };
    ForEachCase(cases, [](const ListenCase& c) {
        Options o;
        ASSERT_TRUE(Parses(c.args, o));
        EXPECT_EQ(o.mode, Mode::Syslog);
        EXPECT_EQ(o.syslogUdp.address, c.udpAddress);
        EXPECT_EQ(o.syslogUdp.port, c.udpPort);
        EXPECT_EQ(o.syslogTcp.address, c.tcpAddress);
        EXPECT_EQ(o.syslogTcp.port, c.tcpPort);
    });
}

// How long a stopped bridge hands its last lines over: 3 s unless told.
TEST(SyslogOptions, StopWaitIsThreeSecondsUnlessTold)
{
    Options o;
    ASSERT_TRUE(Parses({"--syslog-udp", "514"}, o));
    EXPECT_EQ(o.stopWaitMs, 3000);
    ASSERT_TRUE(Parses({"--syslog-udp", "514", "--stop-wait", "500"}, o));
    EXPECT_EQ(o.stopWaitMs, 500);
}

// What is no [ADDR:]PORT is refused, for either option, with the forms an address takes.
TEST(SyslogOptionsBad, AddressWithoutAPortIsRefused)
{
    for (const std::string option : {"--syslog-udp", "--syslog-tcp"}) {
        EXPECT_TRUE(RefusedSaying({option}, option + " needs [ADDR:]PORT"));
        for (const char* address : {"0", "65536", ":514", "[::1]514", "host:"})
            EXPECT_TRUE(RefusedSaying({option, address}, option + " needs [ADDR:]PORT"));
        EXPECT_TRUE(RefusedSaying({option, "::1:514"}, "an IPv6 address in brackets"));
    }
}

TEST(SyslogOptionsBad, AreRefusedWithAReason)
{
    const Refusal cases[] = {
        {{"--syslog-udp", "514", "msg"}, "take no messages"},
        {{"--syslog-tcp", "514", "--crlf"}, "--crlf"},
        {{"--syslog-tcp", "514", "--raw"}, "--raw"},
        {{"--syslog-udp", "514", "--utf8"}, "--utf8"},
        {{"--syslog-udp", "514", "--stop-wait", "soon"}, "--stop-wait needs milliseconds"},
        {{"--syslog-udp", "514", "--stop-wait", "60001"}, "--stop-wait needs milliseconds"},
    };
    ForEachCase(cases, [](const Refusal& c) { EXPECT_TRUE(RefusedSaying(c.args, c.reason)); });
}

TEST(SyslogOptionsHelp, NamesBothOptionsAndWhatOtherAddressesMean)
{
    const std::string usage = kUsage;
    for (const char* part :
         {"--syslog-udp [ADDR:]PORT", "--syslog-tcp [ADDR:]PORT", "127.0.0.1 unless given", "unauthenticated"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
}

} // namespace
