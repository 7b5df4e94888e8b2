#pragma once
// What the user asked zelsend to do, read from its command line.
#include <cstdint>
#include <string>
#include <vector>

namespace zelsend {

enum class Mode { Lines, Messages, Raw, Bench, Help };

struct Options {
    Mode mode = Mode::Lines;
    std::string host = "127.0.0.1";
    uint16_t port = 11925;
    bool crlf = false;
    int benchClients = 0;
    int64_t benchFrames = 0;
    size_t benchSize = 0;
    std::vector<std::string> messages;
};

// Reads the arguments after the program name. On failure returns false with `error` saying
// what is wrong, in words for the user.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

extern const char kUsage[];

}  // namespace zelsend
