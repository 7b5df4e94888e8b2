// zelsend: sends log frames to ZelLogConsole, for people and for load tests, and bridges logs
// that were not written for the console (log files, debug output) into it.
#include "bench_mode/bench_run.h"
#include "debug_output/debug_output_source.h"
#include "common/exit_codes.h"
#include "follow/follow_source.h"
#include "common/line_rules.h"
#include "common/options.h"
#include "port/console_io.h"
#include "port/socket.h"
#include "stdin/stdin_source.h"
#include "port/stop_signal.h"
#include "syslog/syslog_relay.h"
#include "port/text_decoder.h"
#include "zel_log_client.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {

using namespace zelsend;

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

// The one-shot modes: one blocking connection, made first, so that a console that is not
// there is an exit code at once.
int RunOnce(const Options& options, const TextDecoder& decoder, const LineRules& rules)
{
    std::string error;
    Socket socket;
    if (!socket.Connect(options.host, options.port, error))
        return Fail(error);
    socket.KeepFewInFlight();
    int rc = kExitFailed;
    if (options.mode == Mode::Messages)
        rc = SendMessages(socket, options);
    else if (options.mode == Mode::Lines)
        rc = SendStdinLines(socket, decoder, rules, options.crlf);
    else if (options.mode == Mode::Raw)
        rc = SendStdinRaw(socket);
    // Lines sent before a refused one still reach the console whole. The console cannot say
    // which bytes it read but by closing its end once it has read them all: waited for, so
    // that lines in doubt are said to be.
    if (rc == kExitFailed)
        return rc;
    socket.ShutdownSend();
    const Socket::Peer end = socket.AwaitEnd(static_cast<long>(options.stopWaitMs));
    if (end == Socket::Peer::Closed)
        return rc;
    return Fail(end == Socket::Peer::Reset
                    ? "the console closed the connection with lines unread; lines written just before may be missing"
                    : "the console had not read the last lines within --stop-wait; they may be missing");
}

// The bridges run until stopped. Each gets the one sender, which waits for the console, sends
// on its own thread and counts what it has to drop, and the stop flag, which it watches.
int RunBridge(const Options& options, const LineRules& rules)
{
    const std::atomic<bool>& stop = StopOnInterrupt();
    int rc = kExitFailed;
    {
        // Stopped, a bridge hands its last lines over for up to --stop-wait (3 s), then up to a
        // second for the line that counts what it gave up and the console's confirmation: within
        // the 5 s Windows leaves a process whose console window closes.
        zel::LogClientOptions sending;
        sending.closeFlush = std::chrono::milliseconds(options.stopWaitMs);
        zel::LogClient client(options.host, options.port, sending);
        if (options.mode == Mode::Follow)
            rc = RunFollow(options, rules, client, stop);
        else if (options.mode == Mode::DebugOutput)
            rc = RunDebugOutput(options, rules, client, stop);
        else if (options.mode == Mode::Syslog)
            rc = RunSyslogRelay(options, rules, client, stop);
    } // the client hands its last lines over as long as the console takes them
    StoppedCleanly();
    return rc;
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
    // --include, --exclude, --process and --time: standard input's lines and the bridges share them.
    LineRules rules;
    if (!rules.Set(options, error))
        return Fail(error, kExitUsage);
    // Started here for every mode: the relay opens its own sockets before its client's thread
    // has started Winsock, and Winsock refuses a socket before WSAStartup (10093).
    Networking networking;
    if (!networking.Ready(error))
        return Fail(error);
    if (options.mode == Mode::Follow || options.mode == Mode::DebugOutput || options.mode == Mode::Syslog)
        return RunBridge(options, rules);
    if (options.mode == Mode::Bench)
        return RunBenchMode(options);
    return RunOnce(options, decoder, rules);
}
