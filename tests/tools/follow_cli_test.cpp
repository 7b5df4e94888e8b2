// The real zelsend --follow on this system, against a listener of the test's own on the loopback
// address (POSIX only): a file appended to, rotated by rename, truncated, deleted and made again,
// then zelsend stopped by SIGINT as Ctrl+C would. Between looks zelsend holds none of the files.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "testkit/frame_receiver.h"
#include "testkit/zelsend_posix.h"

namespace {

// zelsend's frames, one after another as they come, read with the console's own splitter.
class FrameListener {
public:
    FrameListener()
    {
        if (!receiver_.Start())
            ADD_FAILURE() << "cannot set up a loopback listener";
    }
    std::string Port() const { return std::to_string(receiver_.Port()); }

    // The next frame's text; false when none comes within the limit.
    bool Next(std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        if (!receiver_.WaitForFrames(next_ + 1, limit))
            return false;
        text = receiver_.Frames()[next_++];
        return true;
    }
    // The next `count` frames' texts, as many as came within the limit.
    std::vector<std::string> Next(size_t count)
    {
        std::vector<std::string> texts;
        for (std::string text; texts.size() < count && Next(text);)
            texts.push_back(text);
        return texts;
    }
    // True once zelsend's connection has ended with no frame after the last one read.
    bool EndedWithNothingMore() const { return receiver_.WaitForEnded(1) && receiver_.FrameCount() == next_; }

private:
    FrameReceiver receiver_;
    size_t next_ = 0;
};

using Texts = std::vector<std::string>;

void Append(const std::string& path, const std::string& bytes, bool create = false)
{
    std::ofstream(path, create ? std::ios::binary | std::ios::trunc : std::ios::binary | std::ios::app) << bytes;
}

// The files that process `pid` holds open, as /proc names them.
std::vector<std::string> OpenFiles(pid_t pid)
{
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    std::vector<std::string> files;
    DIR* dir = opendir(fds.c_str());
    while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
        char target[4096];
        const ssize_t n = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target);
        if (n > 0)
            files.emplace_back(target, static_cast<size_t>(n));
    }
    if (dir != nullptr)
        closedir(dir);
    return files;
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
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    void Start(const std::vector<std::string>& args) { zelsend_ = std::make_unique<testkit::ZelsendProcess>(args); }
    // Stops zelsend as Ctrl+C does; its exit code, or -1 when it did not end within 10 s.
    int Interrupt() { return zelsend_->Stop(); }
    // Once it has sent what the files hold, zelsend holds none of them, so that their writer may
    // do anything with them.
    void ExpectHoldsNoFile()
    {
        for (const std::string& file : OpenFiles(zelsend_->Pid()))
            EXPECT_EQ(file.rfind(dir_, 0), std::string::npos) << file;
    }

    std::unique_ptr<testkit::ZelsendProcess> zelsend_;
    std::string dir_, log_;
};

// Starting at the end: the lines already in the file are not sent. The test writes numbered
// pings until one arrives, since it cannot see when zelsend has found the file's end.
TEST_F(ZelsendFollowCli, FollowsThroughRotationTruncationAndDeletion)
{
    FrameListener listener;
    Append(log_, "old line, not sent\nold half", true);
    Start({"--port", listener.Port(), "--follow", log_, "--exclude", "^skip"});
    EXPECT_TRUE(zelsend_->ReadUntil("zelsend: following " + log_ + " from its end (--exclude \"^skip\")\n"));
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

    Append(log_, "skip this\na line\n");
    EXPECT_EQ(listener.Next(1), Texts({"a line\r\n"}));
    ExpectHoldsNoFile();

    // Its writer adds to the file after its rename: what zelsend did not read yet is read where
    // the file went, before the new file.
    ASSERT_EQ(rename(log_.c_str(), (log_ + ".1").c_str()), 0);
    Append(log_ + ".1", "rest of the old file\n");
    Append(log_, "first of the new file\n", true);
    EXPECT_EQ(listener.Next(2), Texts({"rest of the old file\r\n", "first of the new file\r\n"}));
    ExpectHoldsNoFile();

    Append(log_, "short\n", true);
    EXPECT_EQ(listener.Next(1), Texts({"short\r\n"}));

    ASSERT_EQ(unlink(log_.c_str()), 0);
    Append(log_, "made again \xFF\n", true);
    EXPECT_EQ(listener.Next(1), Texts({"made again \xEF\xBF\xBD\r\n"}));

    // A last line without its end is not sent, even when zelsend stops.
    Append(log_, "no end yet");
    Append(log_, "\nlast\n");
    EXPECT_EQ(listener.Next(2), Texts({"no end yet\r\n", "last\r\n"}));
    EXPECT_EQ(Interrupt(), 0);
    EXPECT_TRUE(listener.EndedWithNothingMore());
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
    EXPECT_EQ(listener.Next(2), Texts({"first\r\n", "second\r\n"}));
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

} // namespace
#endif
