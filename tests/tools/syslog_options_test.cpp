// The syslog relay's command line: where it listens, and what it cannot be combined with.
#include "common/options.h"
#include "parse_checks.h"

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

class SyslogOptions : public testing::TestWithParam<ListenCase> {};

TEST_P(SyslogOptions, ListenWhereAskedAndOnLoopbackUnlessTold)
{
    const ListenCase& c = GetParam();
    Options o;
    ASSERT_TRUE(Parses(c.args, o));
    EXPECT_EQ(o.mode, Mode::Syslog);
    EXPECT_EQ(o.syslogUdp.address, c.udpAddress);
    EXPECT_EQ(o.syslogUdp.port, c.udpPort);
    EXPECT_EQ(o.syslogTcp.address, c.tcpAddress);
    EXPECT_EQ(o.syslogTcp.port, c.tcpPort);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, SyslogOptions,
    testing::Values(
        ListenCase{{"--syslog-udp", "514"}, "127.0.0.1", 514, "127.0.0.1", 0},
        ListenCase{{"--syslog-tcp", "0.0.0.0:6514"}, "127.0.0.1", 0, "0.0.0.0", 6514},
        ListenCase{
            {"--syslog-udp", "[::1]:514", "--syslog-tcp", "65535", "--port", "9"}, "::1", 514, "127.0.0.1", 65535},
        ListenCase{{"--syslog-tcp", "logs.example:1514"}, "127.0.0.1", 0, "logs.example", 1514}));

struct BadListenCase {
    std::vector<std::string> args;
    std::string error;
};

class SyslogOptionsBad : public testing::TestWithParam<BadListenCase> {};

TEST_P(SyslogOptionsBad, AreRefusedWithAReason)
{
    EXPECT_TRUE(RefusedSaying(GetParam().args, GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(Invalid, SyslogOptionsBad,
                         testing::Values(BadListenCase{{"--syslog-udp"}, "--syslog-udp needs [ADDR:]PORT"},
                                         BadListenCase{{"--syslog-tcp", "0"}, "--syslog-tcp needs"},
                                         BadListenCase{{"--syslog-udp", "65536"}, "--syslog-udp needs"},
                                         BadListenCase{{"--syslog-udp", ":514"}, "--syslog-udp needs"},
                                         BadListenCase{{"--syslog-udp", "::1:514"}, "in brackets"},
                                         BadListenCase{{"--syslog-udp", "[::1]514"}, "needs"},
                                         BadListenCase{{"--syslog-udp", "host:"}, "needs"},
                                         BadListenCase{{"--syslog-udp", "514", "msg"}, "take no messages"},
                                         BadListenCase{{"--syslog-tcp", "514", "--crlf"}, "--crlf"},
                                         BadListenCase{{"--syslog-tcp", "514", "--raw"}, "--raw"},
                                         BadListenCase{{"--syslog-udp", "514", "--utf8"}, "--utf8"}));

TEST(SyslogOptionsHelp, NamesBothOptionsAndWhatOtherAddressesMean)
{
    const std::string usage = kUsage;
    for (const char* part :
         {"--syslog-udp [ADDR:]PORT", "--syslog-tcp [ADDR:]PORT", "127.0.0.1 unless given", "unauthenticated"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
}

} // namespace
