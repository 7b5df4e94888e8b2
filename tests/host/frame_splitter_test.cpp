#include <gtest/gtest.h>

#include "net/frame_splitter.h"

#include "../common/frame_splitter_cases.inc"

namespace {

// A quiet connection gives back the buffer it keeps between frames, but never the part of a
// frame it holds: cut at each place, the stream still gives the same frames.
TEST(FramingRelease, BufferGoesOnlyBetweenFrames)
{
    const std::string first(60000, 'a');
    const std::string stream = Frame(first) + Frame("second");
    for (const size_t cut : {size_t(2), size_t(30000), stream.size() - 8, stream.size() - 5}) {
        CFrameSplitter splitter;
        std::vector<std::string> frames;
        const auto collect = [&](const char* payload, size_t length) { frames.emplace_back(payload, length); };
        splitter.Feed(reinterpret_cast<const uint8_t*>(stream.data()), cut, collect);
        const size_t held = splitter.HeldBytes();
        splitter.ReleaseBuffer();
        if (splitter.FrameLength() > 0)
            EXPECT_EQ(splitter.HeldBytes(), held) << "a frame under way lost its buffer at " << cut;
        else
            EXPECT_EQ(splitter.HeldBytes(), 0u) << "the buffer stayed between frames at " << cut;
        splitter.Feed(reinterpret_cast<const uint8_t*>(stream.data() + cut), stream.size() - cut, collect);
        EXPECT_EQ(frames, (std::vector<std::string>{first, "second"})) << "cut at " << cut;
    }
}

} // namespace
