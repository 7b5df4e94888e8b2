// zel::LogClient's own cases, beside the contract table that all three clients share
// (tests/clients/contract): texts that the other clients cannot send, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/frame_receiver.h"
#include "zel_log_client.h"

using namespace std::chrono_literals;

namespace {

// What a fresh receiver got from a fresh client that sent `texts` and flushed.
std::pair<std::vector<std::string>, uint64_t> SendThrough(const std::vector<std::string>& texts, size_t frames)
{
    FrameReceiver receiver;
    if (!receiver.Start()) {
        ADD_FAILURE() << "no receiver";
        return {};
    }
    zel::LogClient client("127.0.0.1", receiver.Port());
    for (const auto& text : texts)
        client.Send(text);
    EXPECT_TRUE(client.Flush(20s));
    EXPECT_TRUE(receiver.WaitForFrames(frames));
    return {receiver.Frames(), receiver.Bytes()};
}

TEST(LogClientWireEdge, EmptyTextIsAFrameOfLengthZeroThatShowsNothing)
{
    const auto [frames, bytes] = SendThrough({"a", "", "b"}, 2);
    EXPECT_EQ(frames, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(bytes, 5u + 4u + 5u);
}

// Send adds nothing: a text without a line end goes as it is.
TEST(LogClientWireEdge, TextWithoutALineEndGoesAsItIs)
{
    const auto [frames, bytes] = SendThrough({"no line end", "end\r\n"}, 2);
    EXPECT_EQ(frames, (std::vector<std::string>{"no line end", "end\r\n"}));
    EXPECT_EQ(bytes, 4u + 11u + 4u + 5u);
}

} // namespace
