// Runs the Windows tests with the sockets library started, as the program starts it.
#include <gtest/gtest.h>

#include "platform/async_socket.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!AfxSocketInit()) {
        fprintf(stderr, "sockets library unavailable\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
