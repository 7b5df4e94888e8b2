// zelsend: sends log frames to ZelLogConsole, for people and for load tests.
#include "bench_run.h"
#include "frame.h"
#include "options.h"
#include "socket_shim.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace zelsend;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& error) {
    std::fprintf(stderr, "zelsend: %s\n", error.c_str());
    return kExitFailed;
}

bool SendText(Socket& socket, std::string_view text, std::string& error) {
    const std::string frame = EncodeFrame(text);
    return socket.SendAll(frame.data(), frame.size(), error);
}

bool SendMessages(Socket& socket, const Options& options, std::string& error) {
    for (const std::string& message : options.messages) {
        if (!SendText(socket, options.crlf ? message + "\r\n" : message, error))
            return false;
    }
    return true;
}

// Sends each line as soon as it is complete, so a person typing sees it appear at once.
bool SendStdinLines(Socket& socket, bool crlf, std::string& error) {
    std::vector<char> buffer(64 * 1024);
    std::string pending;
    for (;;) {
        const long n = ReadStdin(buffer.data(), buffer.size());
        if (n < 0) {
            error = "cannot read standard input";
            return false;
        }
        if (n == 0)
            break;
        pending.append(buffer.data(), static_cast<size_t>(n));
        size_t begin = 0;
        for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1) {
            const std::string_view line(pending.data() + begin, end - begin);
            if (!SendText(socket, LineToText(line, crlf), error))
                return false;
        }
        pending.erase(0, begin);
    }
    // A last line without a line break is still a line.
    return pending.empty() || SendText(socket, LineToText(pending, crlf), error);
}

bool SendStdinRaw(Socket& socket, std::string& error) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const long n = ReadStdin(buffer.data(), buffer.size());
        if (n < 0) {
            error = "cannot read standard input";
            return false;
        }
        if (n == 0)
            return true;
        if (!socket.SendAll(buffer.data(), static_cast<size_t>(n), error))
            return false;
    }
}

int RunBenchMode(const Options& options) {
    BenchResult result;
    std::string error;
    const bool ok = RunBench(options.host, options.port, options.benchClients,
                             options.benchFrames, options.benchSize, result, error);
    if (!ok && result.frames == 0)
        return Fail(error);
    std::printf("zelsend bench: %d clients x %lld frames x %zu bytes: %s\n",
                options.benchClients, static_cast<long long>(options.benchFrames),
                options.benchSize, FormatBenchResult(result).c_str());
    std::fflush(stdout);
    return ok ? 0 : Fail(error);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(Utf8Arguments(argc, argv), options, error)) {
        std::fprintf(stderr, "zelsend: %s\nTry 'zelsend --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options.mode == Mode::Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Networking networking;
    if (!networking.Ready(error))
        return Fail(error);
    if (options.mode == Mode::Bench)
        return RunBenchMode(options);

    Socket socket;
    if (!socket.Connect(options.host, options.port, error))
        return Fail(error);
    bool sent = false;
    switch (options.mode) {
    case Mode::Messages: sent = SendMessages(socket, options, error); break;
    case Mode::Lines: sent = SendStdinLines(socket, options.crlf, error); break;
    case Mode::Raw: sent = SendStdinRaw(socket, error); break;
    default: break;
    }
    if (!sent)
        return Fail(error);
    socket.ShutdownSend();
    return 0;
}
