#include <gtest/gtest.h>

#include <set>

#include "platform/socket_notifier.h"

namespace {

TEST(SocketNotifier, MessageIdsGoRoundSkippingThoseInUse)
{
    std::set<UINT> taken{11, 13};
    UINT next = 12;
    auto isTaken = [&](UINT id) { return taken.count(id) != 0; };
    EXPECT_EQ(NextFreeId(next, 10, 13, isTaken), 12u);
    EXPECT_EQ(NextFreeId(next, 10, 13, isTaken), 10u) << "past the last id it starts again at the first";
    EXPECT_EQ(NextFreeId(next, 10, 13, isTaken), 12u);
}

TEST(SocketNotifier, NoFreeIdGivesZeroInsteadOfSearchingForever)
{
    UINT next = 10;
    EXPECT_EQ(NextFreeId(next, 10, 13, [](UINT) { return true; }), 0u);
}

} // namespace
