// The real zelsend --follow on this system, against a listener of the test's own on the loopback
// address (POSIX only): a file appended to, rotated by rename, truncated, deleted and made again,
// then zelsend stopped by SIGINT as Ctrl+C would.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#endif

namespace {
#ifndef _WIN32

using Clock = std::chrono::steady_clock;

// Accepts zelsend's connection and hands out its frames as they come.
class FrameListener {
public:
    FrameListener()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), size) != 0 || listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            ADD_FAILURE() << "cannot set up a loopback listener";
        port_ = ntohs(a.sin_port);
    }
    ~FrameListener()
    {
        close(listener_);
        if (client_ >= 0)
            close(client_);
    }
    std::string Port() const { return std::to_string(port_); }

    // The next frame's text; false when none comes within the limit, or the connection ends.
    bool Next(std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        const auto deadline = Clock::now() + limit;
        while (!TakeFrame(text)) {
            const int fd = client_ >= 0 ? client_ : listener_;
            pollfd p{fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1)
                return false;
            if (client_ < 0) {
                client_ = accept(listener_, nullptr, nullptr);
                continue;
            }
            char buffer[4096];
            const ssize_t n = recv(client_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            bytes_.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

private:
    bool TakeFrame(std::string& text)
    {
        if (bytes_.size() < 4)
            return false;
        const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes_[i])); };
        const size_t length = b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
        if (bytes_.size() < 4 + length)
            return false;
        text = bytes_.substr(4, length);
        bytes_.erase(0, 4 + length);
        return true;
    }

    int listener_ = -1, client_ = -1;
    uint16_t port_ = 0;
    std::string bytes_;
};

void Append(const std::string& path, const std::string& bytes, bool create = false)
{
    std::ofstream(path, create ? std::ios::binary | std::ios::trunc : std::ios::binary | std::ios::app) << bytes;
}

class ZelsendFollowCli : public testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/zelsend-follow-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        log_ = dir_ + "/app.log";
    }
    void TearDown() override
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    void Start(const std::vector<std::string>& args)
    {
        std::vector<char*> argv{const_cast<char*>(ZELSEND_EXE)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            execv(ZELSEND_EXE, argv.data());
            _exit(127);
        }
    }

    // Stops zelsend as Ctrl+C does; its exit code, or -1 when it did not end within 10 s.
    int Interrupt()
    {
        kill(pid_, SIGINT);
        int status = 0;
        for (int i = 0; i < 1000 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            usleep(10000);
        const bool ended = WIFEXITED(status) || WIFSIGNALED(status);
        if (ended)
            pid_ = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir_, log_;
    pid_t pid_ = -1;
};

// Starting at the end: the lines already in the file are not sent. The test writes numbered
// pings until one arrives, since it cannot see when zelsend has found the file's end.
TEST_F(ZelsendFollowCli, FollowsThroughRotationTruncationAndDeletion)
{
    FrameListener listener;
    Append(log_, "old line, not sent\nold half", true);
    Start({"--port", listener.Port(), "--follow", log_});
    std::string frame;
    int pings = 0;
    do {
        ++pings;
        Append(log_, (pings == 1 ? "\nping " : "ping ") + std::to_string(pings) + "\n");
    } while (!listener.Next(frame, std::chrono::milliseconds(200)) && pings < 100);
    // The first line sent is the half line the first ping completed (whole), or a ping.
    ASSERT_TRUE(frame == "old half\r\n" || frame.rfind("ping ", 0) == 0) << frame;
    while (frame != "ping " + std::to_string(pings) + "\r\n")
        ASSERT_TRUE(listener.Next(frame)) << "ping " << pings << " never arrived";

    Append(log_, "a line\n");
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "a line\r\n");

    ASSERT_EQ(rename(log_.c_str(), (log_ + ".1").c_str()), 0);
    Append(log_ + ".1", "rest of the old file\n");
    Append(log_, "first of the new file\n", true);
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "rest of the old file\r\n");
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "first of the new file\r\n");

    Append(log_, "short\n", true);
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "short\r\n");

    ASSERT_EQ(unlink(log_.c_str()), 0);
    Append(log_, "made again \xFF\n", true);
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "made again \xEF\xBF\xBD\r\n");

    // A last line without its end is not sent, even when zelsend stops.
    Append(log_, "no end yet");
    Append(log_, "\nlast\n");
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "no end yet\r\n");
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "last\r\n");
    EXPECT_EQ(Interrupt(), 0);
    EXPECT_FALSE(listener.Next(frame)) << frame;
}

// --from-start sends what the file holds first; a file that does not exist yet is waited for.
TEST_F(ZelsendFollowCli, FromStartAndAFileThatComesLater)
{
    FrameListener listener;
    Start({"--port", listener.Port(), "--follow", log_, "--from-start"});
    Append(log_,
           "\xEF\xBB\xBF"
           "first\r\nsecond\n",
           true);
    std::string frame;
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "first\r\n");
    ASSERT_TRUE(listener.Next(frame));
    EXPECT_EQ(frame, "second\r\n");
    EXPECT_EQ(Interrupt(), 0);
}

TEST(ZelsendDebugOutputCli, SaysItRunsOnWindowsOnly)
{
    const std::string command = std::string(ZELSEND_EXE) + " --debug-output 2>&1";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    char buffer[512] = {};
    const size_t n = fread(buffer, 1, sizeof buffer - 1, out);
    const int status = pclose(out);
    EXPECT_NE(std::string(buffer, n).find("runs on Windows only"), std::string::npos) << buffer;
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

#endif
} // namespace
