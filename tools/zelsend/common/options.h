#pragma once
// What the user asked zelsend to do, read from its command line.
#include <cstdint>
#include <string>
#include <vector>

namespace zelsend {

// Lines, Messages and Raw send once and end; Follow, DebugOutput and Syslog are bridges that run
// until stopped, sending through one zel::LogClient.
enum class Mode { Lines, Messages, Raw, Bench, Help, Version, Follow, DebugOutput, Syslog };

// Where the syslog relay listens: an address of this machine and a port (0: not asked for).
struct ListenAddress {
    std::string address = "127.0.0.1";
    uint16_t port = 0;
};

struct Options {
    Mode mode = Mode::Lines;
    std::string host = "127.0.0.1";
    uint16_t port = 11925;
    bool crlf = false;
    // Standard input's lines: taken as UTF-8 as they are, or converted from a Windows code page
    // (0: the system's; a console's input is always read in the console's own code page).
    bool utf8 = false;
    unsigned inputCodePage = 0;
    int benchClients = 0;
    int64_t benchFrames = 0;
    size_t benchSize = 0;
    std::vector<std::string> messages;
    // --follow: the file, and whether what it holds already is sent first. Its text is UTF-8,
    // or UTF-16 after a BOM, unless inputCodePage names its code page.
    std::string followPath;
    bool fromStart = false;
    // --debug-output: put "[1234 app.exe] " in front of each line.
    bool pid = false;
    ListenAddress syslogUdp;
    ListenAddress syslogTcp;
    // How long a stopped bridge keeps handing its last lines to the console (--stop-wait).
    long long stopWaitMs = 3000;
    // The bridges and standard input's lines (line_rules.h): patterns a line must hold (any
    // one) and must not hold, the debug-output writers wanted (exe names or process ids), and
    // whether each line starts with the time it was taken in.
    std::vector<std::string> include;
    std::vector<std::string> exclude;
    std::vector<std::string> processes;
    bool time = false;
};

// Reads "[ADDR:]PORT" (an IPv6 address in brackets: "[::1]:514"); the address stays 127.0.0.1
// when none is given.
bool ParseListenAddress(const std::string& text, ListenAddress& at);

// Reads the arguments after the program name. On failure returns false with `error` saying
// what is wrong, in words for the user.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

extern const char kUsage[];

// "zelsend 1.0.0.1": the version of the console this zelsend was built with.
extern const char kVersionLine[];

} // namespace zelsend
