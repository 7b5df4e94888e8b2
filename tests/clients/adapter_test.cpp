// The spdlog and glog adapters: messages reach a receiver formatted by their library, with CR LF.
#include <gtest/gtest.h>

#include <regex>

#include <spdlog/logger.h>

#include "testkit/frame_receiver.h"
#include "zel_glog_sink.h"
#include "zel_spdlog_sink.h"

using namespace std::chrono_literals;

namespace {

// Both sinks, the thread-safe one and the single-threaded one, must behave alike.
template <class Sink>
class SpdlogSink : public testing::Test {
};
using SpdlogSinks = testing::Types<zel::spdlog_sink_mt, zel::spdlog_sink_st>;
TYPED_TEST_SUITE(SpdlogSink, SpdlogSinks);

TYPED_TEST(SpdlogSink, SendsFormattedLinesWithCrLf)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    auto sink = std::make_shared<TypeParam>("127.0.0.1", receiver.Port());
    spdlog::logger logger("app", sink);
    logger.set_pattern("[%n] [%l] %v");
    logger.info("订单 {} 已支付", 42);
    logger.warn("cache miss ratio {:.2f}", 0.31);
    logger.flush();
    ASSERT_TRUE(receiver.WaitForFrames(2));
    EXPECT_EQ(receiver.Frames(), (std::vector<std::string>{u8"[app] [info] 订单 42 已支付\r\n",
                                                           "[app] [warning] cache miss ratio 0.31\r\n"}));
}

TYPED_TEST(SpdlogSink, DefaultPatternEndsInCrLf)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    spdlog::logger logger("app", std::make_shared<TypeParam>("127.0.0.1", receiver.Port()));
    logger.error("disk full");
    logger.flush();
    ASSERT_TRUE(receiver.WaitForFrames(1));
    const std::string line = receiver.Frames().at(0);
    EXPECT_TRUE(std::regex_match(
        line, std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[app\] \[error\] disk full\r\n)")))
        << line;
}

TEST(GlogSink, MessagesArriveInGlogsFormatWithCrLf)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    zel::GlogSink sink("127.0.0.1", receiver.Port());
    google::AddLogSink(&sink);
    LOG(INFO) << u8"用户 zhang.san 登录成功";
    LOG(WARNING) << "slow query " << 120 << " ms";
    google::RemoveLogSink(&sink);
    ASSERT_TRUE(sink.client().Flush(10s));
    ASSERT_TRUE(receiver.WaitForFrames(2));
    const auto frames = receiver.Frames();
    const std::string prefix = R"(\d{8} \d\d:\d\d:\d\d\.\d{6} +\d+ adapter_test\.cpp:\d+\] )";
    EXPECT_TRUE(std::regex_match(frames[0], std::regex("I" + prefix + u8"用户 zhang\\.san 登录成功\r\n"))) << frames[0];
    EXPECT_TRUE(std::regex_match(frames[1], std::regex("W" + prefix + "slow query 120 ms\r\n"))) << frames[1];
}

} // namespace
