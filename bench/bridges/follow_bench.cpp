// How soon a line written to a file shows with zelsend --follow (host build, and the Windows
// build under Wine): LINES lines are appended at random gaps of 5 to 40 ms, each carrying the
// time it was written, and a local receiver notes when each arrives. Prints the median, p99 and
// the largest delay against the 250 ms ceiling, with the machine and its load.
//   follow_bench [LINES=400]
#ifdef _WIN32
#include "testkit/child_process.h"
#include "testkit/console_process.h"
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "testkit/bench_report.h"
#include "testkit/receiver_parts.h"

namespace {

using zel::detail::kNoSocket;
using Socket = zel::detail::NativeSocket;
using Clock = std::chrono::steady_clock;
#ifdef _WIN32
constexpr int kShutBoth = SD_BOTH;
#else
constexpr int kShutBoth = SHUT_RDWR;
#endif

long long NowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

// Takes zelsend's connection and notes, for each line "at MICROS", how long it took to arrive.
class DelayReceiver {
public:
    DelayReceiver()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        const uint16_t port = testkit::BindToLoopback(listener_);
        if (port != 0 && listen(listener_, 1) == 0)
            port_ = port;
        thread_ = std::thread([this] { Serve(); });
    }
    ~DelayReceiver()
    {
        shutdown(listener_, kShutBoth);
        zel::detail::CloseNative(listener_);
        if (client_ != kNoSocket)
            shutdown(client_, kShutBoth);
        thread_.join();
        if (client_ != kNoSocket)
            zel::detail::CloseNative(client_);
    }
    uint16_t Port() const { return port_; }
    std::vector<double> Delays() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return delays_;
    }

private:
    void Serve()
    {
        const Socket client = accept(listener_, nullptr, nullptr);
        if (client == kNoSocket)
            return;
        client_ = client;
        std::string bytes;
        char buffer[65536];
        int n = 0;
        while ((n = static_cast<int>(recv(client, buffer, static_cast<int>(sizeof buffer), 0))) > 0) {
            const long long now = NowMicros();
            bytes.append(buffer, static_cast<size_t>(n));
            testkit::TakeWholeFrames(bytes, [&](std::string_view payload) {
                long long written = 0;
                if (std::sscanf(payload.data(), "at %lld", &written) == 1) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    delays_.push_back(double(now - written) / 1000.0);
                }
            });
        }
    }

    Socket listener_ = kNoSocket;
    std::atomic<Socket> client_{kNoSocket};
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::vector<double> delays_; // milliseconds
    std::thread thread_;
};

// As a logger writes: open, append, close.
bool Append(const std::string& path, const std::string& line)
{
    std::ofstream file(path, std::ios::binary | std::ios::app);
    file << line;
    return static_cast<bool>(file);
}

// zelsend --follow PATH --from-start, until Stop.
class Follower {
public:
    Follower(const std::string& path, const std::string& port)
    {
#ifdef _WIN32
        process_ = std::make_unique<BackgroundProcess>(
            L"\"" + CConsoleProcess::WindowsPath(ZELSEND_EXE) + L"\" --port " + std::wstring(port.begin(), port.end()) +
            L" --from-start --follow \"" + std::wstring(path.begin(), path.end()) + L"\"");
#else
        pid_ = fork();
        if (pid_ == 0) {
            execl(ZELSEND_EXE, ZELSEND_EXE, "--port", port.c_str(), "--follow", path.c_str(), "--from-start",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
#endif
    }
    void Stop()
    {
#ifdef _WIN32
        process_->Stop();
#else
        kill(pid_, SIGINT);
        waitpid(pid_, nullptr, 0);
#endif
    }

private:
#ifdef _WIN32
    std::unique_ptr<BackgroundProcess> process_;
#else
    pid_t pid_ = -1;
#endif
};

// A fresh folder for the followed file.
std::string MakeDirectory()
{
#ifdef _WIN32
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + "zel-follow-bench-" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
#else
    char dir[] = "/tmp/zel-follow-bench-XXXXXX";
    return mkdtemp(dir) ? dir : "";
#endif
}

} // namespace

int main(int argc, char** argv)
{
    const int lines = argc > 1 ? std::atoi(argv[1]) : 400;
    PrintMachine();
    const zel::detail::SocketLibrary sockets;
    const std::string dir = MakeDirectory();
    if (dir.empty())
        return 1;
    const std::string path = dir + "/bench.log";
    Append(path, "");
    DelayReceiver receiver;
    Follower zelsend(path, std::to_string(receiver.Port()));
    std::mt19937 random(11925);
    std::uniform_int_distribution<int> gap(5, 40);
    for (int i = 0; i < lines; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
        Append(path, "at " + std::to_string(NowMicros()) + " line " + std::to_string(i) + "\n");
    }
    for (int i = 0; i < 200 && receiver.Delays().size() < size_t(lines); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    zelsend.Stop();
    std::remove(path.c_str());
#ifdef _WIN32
    ::RemoveDirectoryA(dir.c_str());
#else
    rmdir(dir.c_str());
#endif

    std::vector<double> delays = receiver.Delays();
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) {
        std::printf("no line arrived\n");
        return 1;
    }
    const double p99 = Percentile(delays, 0.99);
    std::printf("follow: %zu of %d lines arrived; delay from write to arrival: median %.1f ms, p99 %.1f ms, "
                "max %.1f ms; p99 = %.2f x the 250 ms ceiling\n",
                delays.size(), lines, Percentile(delays, 0.5), p99, delays.back(), p99 / 250.0);
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return delays.size() == size_t(lines) && p99 <= 250.0 ? 0 : 1;
}
