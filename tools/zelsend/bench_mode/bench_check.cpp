#include "bench_mode/bench_check.h"

#include <stdexcept>

namespace zelsend {
namespace {

constexpr size_t kMaxNotes = 10;

bool ReadDigits(std::string_view s, size_t pos, int width, uint64_t& value)
{
    if (s.size() < pos + width)
        return false;
    value = 0;
    for (int i = 0; i < width; ++i) {
        const char c = s[pos + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// Client and sequence number of a line that starts like a bench frame; other lines are not ours.
bool ParseId(std::string_view line, int& client, int64_t& seq)
{
    uint64_t c = 0, s = 0;
    if (line.size() < 15 || line[0] != 'c' || line[4] != ' ' || line[5] != 's' || line[14] != ' ')
        return false;
    if (!ReadDigits(line, 1, 3, c) || !ReadDigits(line, 6, 8, s))
        return false;
    client = static_cast<int>(c);
    seq = static_cast<int64_t>(s);
    return true;
}

// Whether `line` is exactly the frame its header names, without building that frame.
bool MatchesHeader(std::string_view line, int client, int64_t seq)
{
    uint64_t size = 0;
    if (line.size() < kBenchMinSize || line[15] != 'n' || line[22] != ' ')
        return false;
    if (!ReadDigits(line, 16, 6, size) || size != line.size() || size < kBenchMinSize)
        return false;
    for (size_t i = kBenchHeaderSize; i + 2 < line.size(); ++i) {
        if (line[i] != BenchFillerAt(client, seq, i, line.size()))
            return false;
    }
    return line.substr(line.size() - 2) == "\r\n";
}

void CheckLimits(int clients, int64_t frames)
{
    if (clients < 1 || clients > kBenchMaxClients)
        throw std::out_of_range("bench client count out of range");
    if (frames < 0 || frames > kBenchMaxFrames)
        throw std::out_of_range("bench frame count out of range");
}

std::string IdText(int client, int64_t seq)
{
    std::string id(14, ' ');
    id[0] = 'c';
    PutBenchDigits(&id[1], static_cast<uint64_t>(client), 3);
    id[5] = 's';
    PutBenchDigits(&id[6], static_cast<uint64_t>(seq), 8);
    return id;
}

void Note(BenchCheck& check, std::string note)
{
    if (check.notes.size() < kMaxNotes)
        check.notes.push_back(std::move(note));
}

} // namespace

BenchCheck VerifyBenchText(std::string_view text, int clients, int64_t framesPerClient)
{
    CheckLimits(clients, framesPerClient);
    BenchCheck check;
    check.framesSeen.assign(clients, 0);
    std::vector<std::vector<bool>> seen(clients, std::vector<bool>(framesPerClient, false));
    std::vector<int64_t> highest(clients, -1);

    size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const size_t end = text.find('\n');
        const size_t length = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(0, length);
        text.remove_prefix(length);

        int client = 0;
        int64_t seq = 0;
        if (!ParseId(line, client, seq)) {
            ++check.ignored;
            continue;
        }
        const std::string where = "line " + std::to_string(lineNo) + ": " + IdText(client, seq);
        if (client >= clients || seq >= framesPerClient) {
            ++check.corrupt;
            Note(check, where + " was not sent by this bench");
            continue;
        }
        if (!MatchesHeader(line, client, seq)) {
            ++check.corrupt;
            Note(check, where + " is corrupt");
            continue;
        }
        if (seen[client][seq]) {
            ++check.duplicates;
            Note(check, where + " is a duplicate");
            continue;
        }
        seen[client][seq] = true;
        ++check.framesSeen[client];
        if (seq < highest[client]) {
            ++check.outOfOrder;
            Note(check, where + " came after " + IdText(client, highest[client]));
        } else {
            highest[client] = seq;
        }
    }

    for (int c = 0; c < clients; ++c) {
        const int64_t lost = framesPerClient - check.framesSeen[c];
        if (lost == 0)
            continue;
        check.missing += lost;
        int64_t first = 0;
        while (seen[c][first])
            ++first;
        Note(check, std::to_string(lost) + " frame(s) of client " + std::to_string(c) + " missing, the first " +
                        IdText(c, first));
    }
    return check;
}

std::string BenchCheck::Summary() const
{
    int64_t frames = 0;
    for (int64_t n : framesSeen)
        frames += n;
    std::string s = std::to_string(frames) + " frames intact, " + std::to_string(missing) + " missing, " +
                    std::to_string(duplicates) + " duplicate, " + std::to_string(outOfOrder) + " out of order, " +
                    std::to_string(corrupt) + " corrupt, " + std::to_string(ignored) + " other lines";
    for (const std::string& note : notes)
        s += "\n  " + note;
    return s;
}

} // namespace zelsend
