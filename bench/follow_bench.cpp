// How soon a line written to a file shows with zelsend --follow (host build): LINES lines are
// appended at random gaps of 5 to 40 ms, each carrying the time it was written, and a local
// receiver notes when each arrives. Prints the median, p99 and the largest delay against the
// 250 ms ceiling, with the machine and its load.
//   follow_bench [LINES=400]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long NowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

std::string LoadAverage()
{
    std::ifstream load("/proc/loadavg");
    std::string one, five, fifteen;
    load >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void PrintMachine()
{
    std::ifstream cpu("/proc/cpuinfo");
    std::string line, model = "unknown";
    while (std::getline(cpu, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    std::printf("machine: %s, %u cores; load average before: %s\n", model.c_str(), std::thread::hardware_concurrency(),
                LoadAverage().c_str());
}

// Takes zelsend's connection and notes, for each line "at MICROS", how long it took to arrive.
class DelayReceiver {
public:
    DelayReceiver()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), size) == 0 && listen(listener_, 1) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~DelayReceiver()
    {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        if (client_ >= 0)
            shutdown(client_, SHUT_RDWR);
        thread_.join();
        if (client_ >= 0)
            close(client_);
    }
    uint16_t Port() const { return port_; }
    std::vector<double> Delays() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return delays_;
    }
    size_t Count() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return delays_.size();
    }

private:
    void Serve()
    {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            return;
        client_ = client;
        std::string bytes;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = recv(client, buffer, sizeof buffer, 0)) > 0) {
            const long long now = NowMicros();
            bytes.append(buffer, static_cast<size_t>(n));
            size_t at = 0;
            while (bytes.size() - at >= 4) {
                const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
                const size_t length = p[0] | p[1] << 8 | p[2] << 16 | size_t(p[3]) << 24;
                if (bytes.size() - at - 4 < length)
                    break;
                long long written = 0;
                if (std::sscanf(bytes.c_str() + at + 4, "at %lld", &written) == 1) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    delays_.push_back(double(now - written) / 1000.0);
                }
                at += 4 + length;
            }
            bytes.erase(0, at);
        }
    }

    int listener_ = -1;
    std::atomic<int> client_{-1};
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::vector<double> delays_; // milliseconds
    std::thread thread_;
};

bool Append(const std::string& path, const std::string& line)
{
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    const bool ok = fd >= 0 && write(fd, line.data(), line.size()) == ssize_t(line.size());
    if (fd >= 0)
        close(fd);
    return ok;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    const int lines = argc > 1 ? std::atoi(argv[1]) : 400;
    PrintMachine();
    char dir[] = "/tmp/zel-follow-bench-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string path = std::string(dir) + "/bench.log";
    Append(path, "");
    DelayReceiver receiver;
    const std::string port = std::to_string(receiver.Port());
    const pid_t zelsend = fork();
    if (zelsend == 0) {
        execl(ZELSEND_EXE, ZELSEND_EXE, "--port", port.c_str(), "--follow", path.c_str(), "--from-start",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::mt19937 random(11925);
    std::uniform_int_distribution<int> gap(5, 40);
    for (int i = 0; i < lines; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
        Append(path, "at " + std::to_string(NowMicros()) + " line " + std::to_string(i) + "\n");
    }
    for (int i = 0; i < 200 && receiver.Count() < size_t(lines); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(zelsend, SIGINT);
    waitpid(zelsend, nullptr, 0);
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());

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
