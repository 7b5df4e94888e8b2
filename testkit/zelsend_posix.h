#pragma once
// The real zelsend on this system (POSIX), for the tests and benches that run it beside a listener
// of their own: started in the background with its input and output on pipes, or run to its end.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace testkit {

using Clock = std::chrono::steady_clock;

// True when `fd` has something to read (or has ended) before the deadline.
inline bool WaitReadable(int fd, Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, left > 0 ? static_cast<int>(left) : 0) == 1;
}

// zelsend started with `args`, killed when it is dropped before it ended.
class ZelsendProcess {
public:
    // Which of its streams the test reads: standard output and error together, or error alone
    // (its output then goes to ours).
    enum class Read { OutputAndErrors, Errors };

    explicit ZelsendProcess(const std::vector<std::string>& args, Read read = Read::OutputAndErrors)
    {
        // Built before fork: another thread may hold the allocator's lock, so the child only
        // rearranges descriptors and execs.
        std::vector<char*> argv{const_cast<char*>(ZELSEND_EXE)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            if (read == Read::OutputAndErrors)
                dup2(out[1], 1);
            dup2(out[1], 2);
            close(in[0]), close(in[1]), close(out[0]), close(out[1]);
            execv(ZELSEND_EXE, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
        signal(SIGPIPE, SIG_IGN); // zelsend may end without reading its input
    }
    ~ZelsendProcess()
    {
        if (m_pid > 0 && m_exitCode == kRunning) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        CloseInput();
        if (m_out >= 0)
            close(m_out);
    }
    ZelsendProcess(const ZelsendProcess&) = delete;
    ZelsendProcess& operator=(const ZelsendProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // Writes `bytes` to its standard input; false when it no longer reads.
    bool Write(const std::string& bytes)
    {
        return bytes.empty() || write(m_in, bytes.data(), bytes.size()) >= 0 || errno == EPIPE;
    }
    void CloseInput()
    {
        if (m_in >= 0)
            close(m_in);
        m_in = -1;
    }

    // Reads what it prints until `text` shows or the limit passes; true when it showed.
    // An empty `text`: reads until it closes its output.
    bool ReadUntil(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(30))
    {
        const auto deadline = Clock::now() + limit;
        char buffer[4096];
        while (text.empty() || m_printed.find(text) == std::string::npos) {
            if (!WaitReadable(m_out, deadline))
                return false;
            const ssize_t n = read(m_out, buffer, sizeof buffer);
            if (n <= 0)
                return text.empty();
            m_printed.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    const std::string& Printed() const { return m_printed; }

    void Signal(int signal) { kill(m_pid, signal); }
    // Sends it a signal (SIGINT as Ctrl+C does) and waits up to the limit for it to end.
    int Stop(int signal = SIGINT, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        Signal(signal);
        return Wait(limit);
    }
    // Its exit code once it ended within the limit; -1 when it did not, or a signal ended it.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        const auto deadline = Clock::now() + limit;
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
            usleep(10000);
        if (ended != m_pid)
            return -1;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_exitCode;
    }

private:
    static constexpr int kRunning = -2;
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
    int m_exitCode = kRunning;
    std::string m_printed;
};

struct ZelsendRun {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

// Runs zelsend to its end with `input` on its standard input; one that outlives the limit is
// killed, so that a hung zelsend fails the test rather than CI.
inline ZelsendRun RunZelsend(const std::vector<std::string>& args, const std::string& input = "",
                             std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    ZelsendProcess zelsend(args);
    if (!zelsend.Started())
        return {};
    zelsend.Write(input);
    zelsend.CloseInput();
    const bool ended = zelsend.ReadUntil("", limit);
    return {ended ? zelsend.Wait(limit) : zelsend.Stop(SIGKILL), zelsend.Printed()};
}

} // namespace testkit
