#include "common/line_rules.h"

#include "common/options.h"
#include "port/local_time.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace zelsend {
namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// std::regex folds case through the "C" locale: ASCII letters only, as this does.
std::string Lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

// The words of a pattern that is only words joined by '|', or none when it uses anything else
// of the regex language.
std::vector<std::string> PlainWords(const std::string& pattern)
{
    if (pattern.find_first_of("\\^$.*+?()[]{}") != std::string::npos)
        return {};
    std::vector<std::string> words;
    size_t begin = 0;
    for (size_t bar = pattern.find('|');; bar = pattern.find('|', begin)) {
        const std::string word = Lowered(std::string_view(pattern).substr(begin, bar - begin));
        if (word.empty())
            return {}; // "a|" matches everywhere: the regex says so plainly
        words.push_back(word);
        if (bar == std::string::npos)
            return words;
        begin = bar + 1;
    }
}

bool IsQuantifier(char c)
{
    return c == '*' || c == '+' || c == '?' || c == '{';
}

// The plain words one of which every match must start with, or none when that is not plain
// from the pattern's text: "bench \\d+" starts with "bench ", "(error|warn):" with "error" or
// "warn". std::regex then needs to try only where one of them is, not at every character.
std::vector<std::string> LeadingWords(const std::string& pattern)
{
    const char* const special = "\\^$.*+?()[]{}|";
    if (pattern.size() > 1 && pattern[0] == '(' && pattern[1] != '?') {
        const size_t close = pattern.find(')');
        const std::string inside = pattern.substr(1, close == std::string::npos ? 0 : close - 1);
        if (close == std::string::npos || inside.find_first_of("\\^$.*+?()[]{}") != std::string::npos ||
            (close + 1 < pattern.size() && IsQuantifier(pattern[close + 1])) ||
            pattern.find('|', close) != std::string::npos)
            return {};
        return PlainWords(inside);
    }
    if (pattern.find('|') != std::string::npos)
        return {}; // another alternative may start with anything
    size_t plain = pattern.find_first_of(special);
    if (plain == std::string::npos)
        plain = pattern.size();
    if (plain > 0 && plain < pattern.size() && IsQuantifier(pattern[plain]))
        --plain; // "ab*": the b may be absent
    if (plain == 0)
        return {};
    return {Lowered(std::string_view(pattern).substr(0, plain))};
}

bool IsNumber(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string At(size_t index)
{
    return " (character " + std::to_string(index + 1) + ")";
}

// What is wrong with a pattern std::regex refused, in words that name it: libstdc++ reports a
// quantifier with nothing before it, and a '(' or ')' without its partner, all as "Mismatched
// '(' and ')'". "" when this finds nothing wrong: the library's own words then stand.
std::string PatternFault(const std::string& pattern)
{
    std::vector<size_t> open; // where each group still open began
    bool atom = false;        // something a quantifier could repeat comes just before
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\') {
            if (++i == pattern.size())
                return "";
            atom = true;
        } else if (c == '[') {
            size_t end = i + 1;
            while (end < pattern.size() && pattern[end] != ']')
                end += pattern[end] == '\\' ? 2 : 1;
            if (end >= pattern.size())
                return "'[' is never closed" + At(i);
            i = end;
            atom = true;
        } else if (c == '(') {
            if (pattern.compare(i, 3, "(?<") == 0)
                return "look-behind '(?<' is not supported" + At(i);
            open.push_back(i);
            if (pattern.compare(i, 2, "(?") == 0) {
                if (i + 2 >= pattern.size() || std::string(":=!").find(pattern[i + 2]) == std::string::npos)
                    return "'(?' starts no kind of group known here: '(?:', '(?=' or '(?!'" + At(i);
                i += 2;
            }
            atom = false;
        } else if (c == ')') {
            if (open.empty())
                return "')' has no '(' before it" + At(i);
            open.pop_back();
            atom = true;
        } else if (c == '|' || c == '^' || c == '$') {
            atom = false;
        } else if (c == '*' || c == '+' || c == '?' || c == '{') {
            if (!atom)
                return std::string("nothing to repeat before '") + c + "'" + At(i);
            if (c == '{')
                i = std::min(pattern.find('}', i), pattern.size());
        } else {
            atom = true;
        }
    }
    return open.empty() ? "" : "'(' is never closed" + At(open.back());
}

// Compiles the patterns of one option; false with `error` naming the option.
bool CompileAll(const std::vector<std::string>& sources, const char* option, std::vector<LinePattern>& patterns,
                std::string& error)
{
    patterns.assign(sources.size(), LinePattern());
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (!patterns[i].Compile(sources[i], error)) {
            error = std::string(option) + ": " + error;
            return false;
        }
    }
    return true;
}

} // namespace

bool LinePattern::Compile(const std::string& pattern, std::string& error)
{
    try {
        regex_ = std::regex(pattern, std::regex::ECMAScript | std::regex::icase | std::regex::optimize);
    } catch (const std::regex_error& e) {
        std::string why = PatternFault(pattern);
        if (why.empty()) {
            why = e.what();
            const size_t tail = why.find(" in regular expression");
            why = why.substr(0, tail);
        }
        error = "bad pattern \"" + pattern + "\": " + why;
        return false;
    }
    words_ = PlainWords(pattern);
    leading_ = words_.empty() ? LeadingWords(pattern) : std::vector<std::string>();
    return true;
}

bool LinePattern::Found(std::string_view text) const
{
    const auto sameLetter = [](char a, char b) { return Lower(a) == b; };
    if (!words_.empty()) {
        return std::any_of(words_.begin(), words_.end(), [&](const std::string& word) {
            return std::search(text.begin(), text.end(), word.begin(), word.end(), sameLetter) != text.end();
        });
    }
    if (leading_.empty())
        return std::regex_search(text.begin(), text.end(), regex_);
    // A match starts where a leading word does: the regex is tried there only, as a match that
    // must start at that character (what comes before it still counts for \b and ^).
    for (const std::string& word : leading_) {
        for (auto at = text.begin();; ++at) {
            at = std::search(at, text.end(), word.begin(), word.end(), sameLetter);
            if (at == text.end())
                break;
            const auto flags = at == text.begin()
                                   ? std::regex_constants::match_continuous
                                   : std::regex_constants::match_continuous | std::regex_constants::match_prev_avail;
            if (std::regex_search(at, text.end(), regex_, flags))
                return true;
        }
    }
    return false;
}

bool LineRules::Set(const Options& options, std::string& error)
{
    if (!CompileAll(options.include, "--include", include_, error) ||
        !CompileAll(options.exclude, "--exclude", exclude_, error))
        return false;
    processes_.clear();
    for (const std::string& process : options.processes)
        processes_.push_back(Lowered(process));
    time_ = options.time;
    return true;
}

bool LineRules::Keeps(std::string_view text) const
{
    const auto found = [text](const LinePattern& p) { return p.Found(text); };
    if (!include_.empty() && std::none_of(include_.begin(), include_.end(), found))
        return false;
    return std::none_of(exclude_.begin(), exclude_.end(), found);
}

bool LineRules::KeepsProcess(uint32_t pid, std::string_view exeName) const
{
    if (processes_.empty())
        return true;
    const std::string name = Lowered(exeName);
    const std::string id = std::to_string(pid);
    return std::any_of(processes_.begin(), processes_.end(), [&](const std::string& wanted) {
        // "app" names app.exe too, as Task Manager's users write it.
        return IsNumber(wanted) ? wanted == id : wanted == name || wanted + ".exe" == name;
    });
}

std::string LineRules::Stamp(std::chrono::system_clock::time_point at) const
{
    return time_ ? ClockStamp(at) : std::string();
}

bool LineRules::Append(std::string& out, std::string_view text, std::string_view stamp, std::string_view prefix) const
{
    if (!Keeps(text))
        return false;
    out.append(stamp).append(prefix).append(text).append("\r\n");
    return true;
}

std::string FiltersNote(const Options& options)
{
    std::string note;
    const auto add = [&note](const char* option, const std::vector<std::string>& patterns) {
        for (const std::string& pattern : patterns)
            note.append(note.empty() ? " (" : ", ").append(option).append(" \"").append(pattern).append("\"");
    };
    add("--include", options.include);
    add("--exclude", options.exclude);
    return note.empty() ? note : note + ")";
}

std::string ClockStamp(std::chrono::system_clock::time_point at)
{
    using namespace std::chrono;
    const auto sinceEpoch = at.time_since_epoch();
    const auto whole = duration_cast<seconds>(sinceEpoch);
    const long long ms = duration_cast<milliseconds>(sinceEpoch - whole).count();
    const std::time_t t = static_cast<std::time_t>(whole.count());
    const std::tm local = LocalTime(t);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03lld ", local.tm_hour, local.tm_min, local.tm_sec,
                  ms < 0 ? 0 : ms);
    return text;
}

} // namespace zelsend
