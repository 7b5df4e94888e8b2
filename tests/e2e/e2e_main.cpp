// The end-to-end tests act as clients of the console too, so they start the sockets library.
#include <gtest/gtest.h>
#include <winsock2.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 1;
    const int result = RUN_ALL_TESTS();
    ::WSACleanup();
    return result;
}
