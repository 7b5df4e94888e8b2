// zelsend: sends log frames to ZelLogConsole, for people and for load tests.
#include "bench_run.h"
#include "frame.h"
#include "options.h"
#include "socket_shim.h"
#include "syslog_relay.h"
#include "text_decoder.h"
#include "zel_log_client.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace zelsend;

constexpr int kExitSent = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2; // also a frame too long for the console: the input is at fault

// Before its line break comes, a line is kept only up to this size: no code page needs more
// than four bytes for what UTF-8 writes in one, so a longer line cannot fit a frame.
constexpr size_t kMaxLineBytes = 4 * kMaxFrameText;

int Fail(const std::string& error, int code = kExitFailed)
{
    std::fprintf(stderr, "zelsend: %s\n", error.c_str());
    return code;
}

// Frames past the console's limit would cost the connection and everything after them.
bool FitsAFrame(size_t size, const std::string& what, std::string& error)
{
    if (size <= kMaxFrameText)
        return true;
    error = what + " is " + std::to_string(size) + " bytes of UTF-8, more than the " + std::to_string(kMaxFrameText) +
            " (16 MiB) the console takes in one frame; " + "it was not sent";
    return false;
}

bool SendText(Socket& socket, std::string_view text, std::string& error)
{
    const std::string frame = EncodeFrame(text);
    return socket.SendAll(frame.data(), frame.size(), error);
}

// Arguments cannot come near the frame limit: command lines end at 32 Ki characters on Windows
// and at 128 KiB per argument on Linux.
int SendMessages(Socket& socket, const Options& options)
{
    std::string error;
    for (const std::string& message : options.messages) {
        if (!SendText(socket, options.crlf ? message + "\r\n" : message, error))
            return Fail(error);
    }
    return kExitSent;
}

// Reads standard input to its end, handing each chunk to `take`, which returns an exit code:
// reading stops at the first that is not kExitSent.
template <class Take>
int ReadAllStdin(Take take)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const long n = ReadStdin(buffer.data(), buffer.size());
        if (n < 0)
            return Fail("cannot read standard input");
        if (n == 0)
            return kExitSent;
        if (const int rc = take(buffer.data(), static_cast<size_t>(n)); rc != kExitSent)
            return rc;
    }
}

// Sends each line as soon as it is complete, so a person typing sees it appear at once. Stops
// at a line too long for a frame, after the lines before it have gone.
class LineSender {
public:
    LineSender(Socket& socket, const TextDecoder& decoder, bool crlf) : socket_(socket), decoder_(decoder), crlf_(crlf)
    {
    }

    int Run()
    {
        std::string pending;
        const int rc = ReadAllStdin([&](const char* data, size_t size) {
            // What is pending holds no line break: only the new bytes need a look, or a long line
            // would be scanned again with every chunk of it.
            const size_t from = pending.size();
            pending.append(data, size);
            size_t begin = 0;
            for (size_t end = pending.find('\n', from); end != std::string::npos; end = pending.find('\n', begin)) {
                const int sent = Send(std::string_view(pending.data() + begin, end - begin));
                if (sent != kExitSent)
                    return sent;
                begin = end + 1;
            }
            pending.erase(0, begin);
            if (pending.size() <= kMaxLineBytes)
                return kExitSent;
            return Fail("line " + std::to_string(line_ + 1) + " is longer than " + std::to_string(kMaxLineBytes) +
                            " bytes, far more than the " + std::to_string(kMaxFrameText) +
                            " (16 MiB) the console takes in one frame; it was not sent",
                        kExitUsage);
        });
        if (rc != kExitSent)
            return rc;
        // A last line without a line break is still a line.
        return pending.empty() ? kExitSent : Send(pending);
    }

private:
    int Send(std::string_view line)
    {
        ++line_;
        const std::string text =
            decoder_.Converts() ? LineToText(decoder_.ToUtf8(line), crlf_) : LineToText(line, crlf_);
        std::string error;
        if (!FitsAFrame(text.size(), "line " + std::to_string(line_), error))
            return Fail(error, kExitUsage);
        return SendText(socket_, text, error) ? kExitSent : Fail(error);
    }

    Socket& socket_;
    const TextDecoder& decoder_;
    const bool crlf_;
    int64_t line_ = 0;
};

int SendStdinRaw(Socket& socket)
{
    return ReadAllStdin([&socket](const char* data, size_t size) {
        std::string error;
        return socket.SendAll(data, size, error) ? kExitSent : Fail(error);
    });
}

int RunBenchMode(const Options& options)
{
    BenchResult result;
    std::string error;
    const bool ok = RunBench(options.host, options.port, options.benchClients, options.benchFrames, options.benchSize,
                             result, error);
    if (!ok && result.frames == 0)
        return Fail(error);
    std::printf("zelsend bench: %d clients x %lld frames x %zu bytes: %s\n", options.benchClients,
                static_cast<long long>(options.benchFrames), options.benchSize, FormatBenchResult(result).c_str());
    std::fflush(stdout);
    return ok ? kExitSent : Fail(error);
}

// Set by Ctrl+C or Ctrl+Break (SIGINT or SIGTERM elsewhere): the relay then stops and reports.
std::atomic<bool> g_stop{false};

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD)
{
    g_stop = true;
    return TRUE;
}
#else
void OnStopSignal(int)
{
    g_stop = true;
}
#endif

// Runs until stopped; every line goes through the one client, which queues, reconnects and
// counts what it must drop.
int RunSyslogMode(const Options& options)
{
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
#endif
    zel::LogClient client(options.host, options.port);
    return RunSyslogRelay(options, client, g_stop);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(Utf8Arguments(argc, argv), options, error)) {
        std::fprintf(stderr, "zelsend: %s\nTry 'zelsend --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options.mode == Mode::Help || options.mode == Mode::Version) {
        std::fputs(options.mode == Mode::Help ? kUsage : kVersionLine, stdout);
        return kExitSent;
    }
    TextDecoder decoder;
    if (options.mode == Mode::Lines && !options.utf8 && !decoder.Open(StdinCodePage(options.inputCodePage), error))
        return Fail(error, kExitUsage);

    Networking networking;
    if (!networking.Ready(error))
        return Fail(error);
    if (options.mode == Mode::Bench)
        return RunBenchMode(options);
    if (options.mode == Mode::Syslog)
        return RunSyslogMode(options);

    Socket socket;
    if (!socket.Connect(options.host, options.port, error))
        return Fail(error);
    int rc = kExitFailed;
    switch (options.mode) {
    case Mode::Messages:
        rc = SendMessages(socket, options);
        break;
    case Mode::Lines:
        rc = LineSender(socket, decoder, options.crlf).Run();
        break;
    case Mode::Raw:
        rc = SendStdinRaw(socket);
        break;
    default:
        break;
    }
    // Lines sent before a refused one still reach the console whole.
    if (rc != kExitFailed)
        socket.ShutdownSend();
    return rc;
}
