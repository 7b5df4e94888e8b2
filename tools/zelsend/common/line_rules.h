#pragma once
// What every bridge does to a line before it goes to the console: the --include and --exclude
// patterns, the --process choice of debug-output writers and the --time stamp. No sockets and no
// system calls beyond the clock, so each bridge and the tests use the same rules.
#include <chrono>
#include <cstdint>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace zelsend {

struct Options;

// One --include or --exclude pattern: std::regex (ECMAScript, case-insensitive), searched for
// anywhere in the line. A pattern of plain words ("error" or "error|warn") is searched for as
// text, case-insensitively: the same lines, at a small part of std::regex's cost per line; a
// pattern that starts with words ("bench \\d+", "(error|warn):") is tried where they are only.
class LinePattern {
public:
    // False with `error` saying what is wrong with `pattern`.
    bool Compile(const std::string& pattern, std::string& error);
    bool Found(std::string_view text) const;

private:
    std::vector<std::string> words_;   // lower-case; used instead of regex_ when not empty
    std::vector<std::string> leading_; // lower-case; each match of regex_ starts with one
    std::regex regex_;
};

class LineRules {
public:
    // Takes --include, --exclude, --process and --time from `options`; false with `error`
    // naming the pattern that does not compile and why.
    bool Set(const Options& options, std::string& error);

    // A line goes when it holds some --include pattern (or none was given) and no --exclude.
    bool Keeps(std::string_view text) const;
    // Debug output of this process goes (--process, by exe name without case or by id; all
    // processes when none was given).
    bool KeepsProcess(uint32_t pid, std::string_view exeName) const;
    bool ChoosesProcesses() const { return !processes_.empty(); }

    // "hh:mm:ss.mmm " in local time with --time, otherwise "".
    std::string Stamp(std::chrono::system_clock::time_point at) const;
    std::string StampNow() const { return time_ ? Stamp(std::chrono::system_clock::now()) : std::string(); }

    // Appends the line as the console shows it, when kept: stamp, prefix, text, CR LF. `text`
    // has no line end. Returns whether it was kept.
    bool Append(std::string& out, std::string_view text, std::string_view stamp, std::string_view prefix) const;

private:
    std::vector<LinePattern> include_, exclude_;
    std::vector<std::string> processes_; // lower-case exe names, or process ids in digits
    bool time_ = false;
};

// The --include and --exclude patterns as a bridge's first line on standard error names them:
// ` (--include "error|warn", --exclude "^heartbeat")`, or "" when none was given.
std::string FiltersNote(const Options& options);

// "hh:mm:ss.mmm " of `at` in the local time zone.
std::string ClockStamp(std::chrono::system_clock::time_point at);

} // namespace zelsend
