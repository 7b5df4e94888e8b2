#include "common/options.h"

#include "bench_mode/bench_payload.h"
#include "common/line_rules.h"
#include "zel_version.h"

#include <cerrno>
#include <cstdlib>

namespace zelsend {

const char kUsage[] = "usage: zelsend [--host H] [--port P] [--crlf] [--utf8 | --input-codepage N] [MESSAGE...]\n"
                      "       zelsend [--host H] [--port P] --raw\n"
                      "       zelsend [--host H] [--port P] --bench K N SIZE\n"
                      "       zelsend [--host H] [--port P] --follow PATH [--from-start] [--input-codepage N]\n"
                      "       zelsend [--host H] [--port P] --debug-output [--pid] [--process NAME]...\n"
                      "       zelsend [--host H] [--port P] [--syslog-udp [ADDR:]PORT] [--syslog-tcp [ADDR:]PORT]\n"
                      "       each bridge, and standard input's lines, also take:\n"
                      "               [--include REGEX]... [--exclude REGEX]... [--time]\n"
                      "Sends log frames to ZelLogConsole (default 127.0.0.1:11925).\n"
                      "  MESSAGE...      each argument is one frame; without any, each line of standard\n"
                      "                  input is one frame (without its line break)\n"
                      "  --crlf          end each frame's text with CR LF, so the console shows lines\n"
                      "  --utf8          standard input is UTF-8 already: send its bytes as they are\n"
                      "  --input-codepage N  standard input, when it is a pipe or a file, is in Windows\n"
                      "                  code page N (936: Simplified Chinese, 65001: UTF-8)\n"
                      "  --raw           send standard input as it is, with no framing or conversion\n"
                      "  --bench K N SIZE  K clients at once, each sending N frames of SIZE bytes\n"
                      "                  (SIZE 25 to 999999); prints the rate; the console's text can be\n"
                      "                  checked frame by frame afterwards\n"
                      "  --follow PATH   send each line added to the file, as tail -F: from its end (or\n"
                      "                  with --from-start its beginning), through rotation by rename and\n"
                      "                  truncation, holding the file open only while it reads; text is\n"
                      "                  UTF-8, or UTF-16 after a BOM, unless\n"
                      "                  --input-codepage N names its code page\n"
                      "  --debug-output  (Windows) send what programs of this session write with\n"
                      "                  OutputDebugString; --pid puts \"[1234 app.exe] \" before each line;\n"
                      "                  --process NAME (more than once) takes only the programs with\n"
                      "                  that exe name (case-insensitive, \"app\" or \"app.exe\") or process id\n"
                      "  --syslog-udp [ADDR:]PORT  relay syslog messages (RFC 3164 or 5424) that arrive\n"
                      "                  over UDP to the console, one line each, until stopped (Ctrl+C)\n"
                      "  --syslog-tcp [ADDR:]PORT  the same over TCP, octet-counted or one per line;\n"
                      "                  both may be given. ADDR is 127.0.0.1 unless given: any other lets\n"
                      "                  whoever reaches the port write into the console, unauthenticated\n"
                      "  --include REGEX send only lines that hold REGEX (ECMAScript, case-insensitive);\n"
                      "                  given more than once, lines that hold any of them\n"
                      "  --exclude REGEX leave out lines that hold REGEX; wins over --include\n"
                      "                  (a syslog message is one line, with its line breaks)\n"
                      "  --time          begin each line with the local time zelsend took it in,\n"
                      "                  \"hh:mm:ss.mmm \", before the --pid prefix\n"
                      "  --stop-wait MS  a stopped bridge hands its last lines to the console for up to MS\n"
                      "                  ms (3000), less once the console takes nothing for a second;\n"
                      "                  a second Ctrl+C quits at once. Sent messages and lines wait as\n"
                      "                  long for the console to say it read them all\n"
                      "  --              the arguments after it are messages, even if they start with --\n"
                      "  --version       print zelsend's version\n"
                      "  -h, --help      show this help\n"
                      "Text: the console shows UTF-8 only. Arguments are sent as UTF-8. On Windows, lines\n"
                      "typed in a console are converted from the console's code page, and piped lines from\n"
                      "the system's ANSI code page (936 on Simplified Chinese Windows) unless --utf8 or\n"
                      "--input-codepage says otherwise. On other systems input is sent as it is (UTF-8)\n"
                      "unless --input-codepage is given.\n"
                      "Limits: a frame carries at most 16777216 bytes (16 MiB) of UTF-8, CR LF included;\n"
                      "the console closes the connection of a client that sends more. zelsend stops at such\n"
                      "a frame: the frames before it have been sent, nothing from it on.\n"
                      "--follow, --debug-output and the syslog relay run until Ctrl+C, end each line with\n"
                      "CR LF, wait for the console when it is not there, and count the lines they had to drop.\n"
                      "Exit codes: 0 everything sent (or a bridge stopped); 1 cannot connect, send or read\n"
                      "standard input, another program captures debug output already, or the relay cannot\n"
                      "listen; 2 bad arguments (a pattern that is not a regex), or a frame over 16 MiB (not sent).\n";

const char kVersionLine[] = "zelsend " ZEL_VERSION_TEXT "\n";

namespace {

bool ReadNumber(const std::string& text, long long min, long long max, long long& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= min && value <= max;
}

// The value after an option, or false when the command line ends first.
bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string& value)
{
    if (i + 1 >= args.size())
        return false;
    value = args[++i];
    return true;
}

bool ParseBench(const std::vector<std::string>& args, size_t& i, Options& options, std::string& error)
{
    if (i + 3 >= args.size()) {
        error = "--bench needs three numbers: clients, frames per client, frame size";
        return false;
    }
    long long clients = 0, frames = 0, size = 0;
    if (!ReadNumber(args[i + 1], 1, kBenchMaxClients, clients)) {
        error = "--bench: clients must be 1 to " + std::to_string(kBenchMaxClients);
        return false;
    }
    if (!ReadNumber(args[i + 2], 1, kBenchMaxFrames, frames)) {
        error = "--bench: frames per client must be 1 to " + std::to_string(kBenchMaxFrames);
        return false;
    }
    if (!ReadNumber(args[i + 3], kBenchMinSize, kBenchMaxSize, size)) {
        error = "--bench: frame size must be " + std::to_string(kBenchMinSize) + " to " +
                std::to_string(kBenchMaxSize) + " bytes";
        return false;
    }
    options.mode = Mode::Bench;
    options.benchClients = static_cast<int>(clients);
    options.benchFrames = frames;
    options.benchSize = static_cast<size_t>(size);
    i += 3;
    return true;
}

// Reads the value of --syslog-udp or --syslog-tcp.
bool TakeListenAddress(const std::vector<std::string>& args, size_t& i, ListenAddress& at, std::string& error)
{
    const std::string option = args[i];
    std::string value;
    if (TakeValue(args, i, value) && ParseListenAddress(value, at))
        return true;
    error = option + " needs [ADDR:]PORT, such as 514 or 0.0.0.0:514 (an IPv6 address in brackets: [::1]:514)";
    return false;
}

// The relay makes its own lines: it takes no messages, input options or other mode.
bool CheckSyslog(const Options& options, bool raw, bool bench, bool debug, std::string& error)
{
    if (raw || bench || debug || !options.followPath.empty() || options.fromStart || options.pid || options.crlf ||
        options.utf8 || options.inputCodePage != 0 || !options.messages.empty() || !options.processes.empty()) {
        error = "--syslog-udp and --syslog-tcp take no messages and no --raw, --bench, --follow, --from-start, "
                "--debug-output, --pid, --process, --crlf, --utf8 or --input-codepage";
        return false;
    }
    return true;
}

// A bridge takes its lines from one source of its own: nothing of standard input's modes.
bool CheckBridge(const Options& options, bool raw, bool bench, bool debug, std::string& error)
{
    const bool follow = !options.followPath.empty();
    const char* name = follow ? "--follow" : "--debug-output";
    if (follow && debug) {
        error = "--follow and --debug-output cannot be combined: run one zelsend for each";
        return false;
    }
    if ((follow || debug) && (raw || bench)) {
        error = std::string(name) + " cannot be combined with " + (raw ? "--raw" : "--bench");
        return false;
    }
    if ((follow || debug) && !options.messages.empty()) {
        error = std::string(name) + " takes no messages";
        return false;
    }
    if ((follow || debug) && options.utf8) {
        error = std::string(name) + " cannot be combined with --utf8";
        return false;
    }
    if (debug && options.inputCodePage != 0) {
        error = "--debug-output reads the system's ANSI code page: --input-codepage applies to --follow";
        return false;
    }
    if (options.fromStart && !follow) {
        error = "--from-start applies to --follow only";
        return false;
    }
    if ((options.pid || !options.processes.empty()) && !debug) {
        error = std::string(options.pid ? "--pid" : "--process") + " applies to --debug-output only";
        return false;
    }
    return true;
}

// Modes that read standard input or make their own frames cannot also take messages or --crlf.
bool CheckCombination(const Options& options, bool raw, bool bench, bool debug, std::string& error)
{
    if (!CheckBridge(options, raw, bench, debug, error))
        return false;
    if (debug || !options.followPath.empty())
        return true;
    if (raw && bench) {
        error = "--raw and --bench cannot be combined";
        return false;
    }
    if ((raw || bench) && !options.messages.empty()) {
        error = std::string(raw ? "--raw" : "--bench") + " takes no messages";
        return false;
    }
    if ((raw || bench || !options.messages.empty()) &&
        (!options.include.empty() || !options.exclude.empty() || options.time)) {
        error = "--include, --exclude and --time apply to the bridges and the lines of standard input";
        return false;
    }
    if ((raw || bench) && options.crlf) {
        error = std::string(raw ? "--raw" : "--bench") + " cannot be combined with --crlf";
        return false;
    }
    const char* encoding = options.utf8 ? "--utf8" : "--input-codepage";
    if (options.utf8 && options.inputCodePage != 0) {
        error = "--utf8 and --input-codepage cannot be combined";
        return false;
    }
    // Only the lines of standard input are converted: arguments are UTF-8 already, and --raw
    // exists to send bytes unchanged.
    if ((options.utf8 || options.inputCodePage != 0) && (raw || bench || !options.messages.empty())) {
        error = std::string(encoding) + " applies to the lines of standard input" +
                (options.utf8 ? " only" : " and of --follow only");
        return false;
    }
    return true;
}

// A pattern that is not a regex is the user's mistake: said at once, not when a line comes.
bool TakePattern(const std::vector<std::string>& args, size_t& i, std::vector<std::string>& patterns,
                 std::string& error)
{
    const std::string option = args[i];
    std::string value;
    if (!TakeValue(args, i, value)) {
        error = option + " needs a regular expression, such as \"error|warn\"";
        return false;
    }
    LinePattern pattern;
    if (!pattern.Compile(value, error)) {
        error = option + ": " + error;
        return false;
    }
    patterns.push_back(value);
    return true;
}

} // namespace

bool ParseListenAddress(const std::string& text, ListenAddress& at)
{
    std::string address, port = text;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find("]:");
        if (close == std::string::npos)
            return false;
        address = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (address.find(':') != std::string::npos)
            return false; // an IPv6 address without brackets: its last part is no port
    }
    long long number = 0;
    if (!ReadNumber(port, 1, 65535, number) || (text.find(':') != std::string::npos && address.empty()))
        return false;
    at.address = address.empty() ? "127.0.0.1" : address;
    at.port = static_cast<uint16_t>(number);
    return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error)
{
    options = Options{};
    bool raw = false, bench = false, debug = false, onlyMessages = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        long long port = 0;
        if (onlyMessages || arg.size() < 2 || arg[0] != '-') {
            options.messages.push_back(arg);
        } else if (arg == "--") {
            onlyMessages = true;
        } else if (arg == "-h" || arg == "--help") {
            options.mode = Mode::Help;
            return true;
        } else if (arg == "--host") {
            if (!TakeValue(args, i, value) || value.empty()) {
                error = "--host needs a host name or address";
                return false;
            }
            options.host = value;
        } else if (arg == "--port") {
            if (!TakeValue(args, i, value) || !ReadNumber(value, 1, 65535, port)) {
                error = "--port needs a port number from 1 to 65535";
                return false;
            }
            options.port = static_cast<uint16_t>(port);
        } else if (arg == "--version") {
            options.mode = Mode::Version;
            return true;
        } else if (arg == "--crlf") {
            options.crlf = true;
        } else if (arg == "--utf8") {
            options.utf8 = true;
        } else if (arg == "--input-codepage") {
            long long codePage = 0;
            if (!TakeValue(args, i, value) || !ReadNumber(value, 1, 65535, codePage)) {
                error = "--input-codepage needs a Windows code page number, such as 936";
                return false;
            }
            options.inputCodePage = static_cast<unsigned>(codePage);
        } else if (arg == "--follow") {
            if (!TakeValue(args, i, value) || value.empty()) {
                error = "--follow needs the path of a file";
                return false;
            }
            options.followPath = value;
        } else if (arg == "--from-start") {
            options.fromStart = true;
        } else if (arg == "--debug-output") {
            debug = true;
        } else if (arg == "--pid") {
            options.pid = true;
        } else if (arg == "--include" || arg == "--exclude") {
            if (!TakePattern(args, i, arg == "--include" ? options.include : options.exclude, error))
                return false;
        } else if (arg == "--process") {
            if (!TakeValue(args, i, value) || value.empty()) {
                error = "--process needs an exe name (app.exe) or a process id";
                return false;
            }
            options.processes.push_back(value);
        } else if (arg == "--stop-wait") {
            if (!TakeValue(args, i, value) || !ReadNumber(value, 0, 60000, options.stopWaitMs)) {
                error = "--stop-wait needs milliseconds from 0 to 60000";
                return false;
            }
        } else if (arg == "--time") {
            options.time = true;
        } else if (arg == "--syslog-udp" || arg == "--syslog-tcp") {
            if (!TakeListenAddress(args, i, arg == "--syslog-udp" ? options.syslogUdp : options.syslogTcp, error))
                return false;
        } else if (arg == "--raw") {
            raw = true;
        } else if (arg == "--bench") {
            if (!ParseBench(args, i, options, error))
                return false;
            bench = true;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    const bool syslog = options.syslogUdp.port != 0 || options.syslogTcp.port != 0;
    if (!(syslog ? CheckSyslog(options, raw, bench, debug, error)
                 : CheckCombination(options, raw, bench, debug, error)))
        return false;
    if (syslog)
        options.mode = Mode::Syslog;
    else if (raw)
        options.mode = Mode::Raw;
    else if (!options.followPath.empty())
        options.mode = Mode::Follow;
    else if (debug)
        options.mode = Mode::DebugOutput;
    else if (!bench)
        options.mode = options.messages.empty() ? Mode::Lines : Mode::Messages;
    return true;
}

} // namespace zelsend
