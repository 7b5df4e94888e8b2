// libFuzzer target for CFrameSplitter. Each input describes a byte stream and where it is cut
// into reads; the splitter is fed read by read and checked after every read against a plain
// whole-buffer parser of the same bytes. Any difference aborts.
//
// Input: [n] [n control bytes] [data...]. The control bytes are used in turn, over and over,
// until the data is used up:
//   c < 0x80   the next read is the next c data bytes (0: an empty read);
//   c >= 0x80  the next read is the next data byte repeated ((c & 0x7F) + 1) KiB times, so that
//              a small input can carry frames larger than the buffer the splitter keeps.
// With no control bytes, or when a whole round of them takes nothing, the rest is one read.
#include "net/frame_splitter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int32_t kLargestFrame = 16 * 1024 * 1024;
static_assert(CFrameSplitter::kMaxPayload == kLargestFrame, "the protocol's largest frame is 16 MiB");
// Bounds what runs can add, so one input stays quick to check.
constexpr size_t kMaxStream = 256 * 1024;

struct Stream {
    std::string bytes;
    std::vector<size_t> readEnds; // offset in bytes where each read ends
};

Stream Decode(const uint8_t* input, size_t size)
{
    Stream s;
    if (size == 0)
        return s;
    const size_t n = std::min<size_t>(input[0], size - 1);
    const uint8_t* control = input + 1;
    const uint8_t* data = control + n;
    size_t left = size - 1 - n;

    auto endRead = [&s] { s.readEnds.push_back(s.bytes.size()); };
    while (left > 0 && s.bytes.size() < kMaxStream) {
        const size_t before = left;
        for (size_t i = 0; i < n && left > 0 && s.bytes.size() < kMaxStream; ++i) {
            const uint8_t c = control[i];
            if (c < 0x80) {
                const size_t take = std::min<size_t>(c, left);
                s.bytes.append(reinterpret_cast<const char*>(data), take);
                data += take;
                left -= take;
            } else {
                const size_t run = std::min<size_t>((size_t(c & 0x7F) + 1) * 1024, kMaxStream - s.bytes.size());
                s.bytes.append(run, static_cast<char>(*data));
                ++data;
                --left;
            }
            endRead();
        }
        if (left == before)
            break;
    }
    if (left > 0 && s.bytes.size() < kMaxStream) {
        s.bytes.append(reinterpret_cast<const char*>(data), left);
        endRead();
    }
    return s;
}

// The reference: every length field the stream holds in full, read front to back with no
// state carried between reads.
struct Header {
    size_t at;      // offset of its first byte
    int32_t length; // as sent: zero or negative is an empty frame, above the limit is oversize
};

std::vector<Header> ReferenceHeaders(const std::string& bytes)
{
    std::vector<Header> headers;
    size_t pos = 0;
    while (pos + 4 <= bytes.size()) {
        const auto b = [&](size_t i) { return uint32_t(uint8_t(bytes[pos + i])); };
        const int32_t length = static_cast<int32_t>(b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24);
        headers.push_back({pos, length});
        if (length > kLargestFrame)
            break; // nothing after an oversize length can be followed
        pos += 4 + (length > 0 ? size_t(length) : 0);
    }
    return headers;
}

struct Reference {
    std::vector<Header> headers;
    std::vector<std::string> frames; // every whole frame, in order
    std::vector<size_t> frameEnds;   // offset just past each of them
};

Reference Parse(const std::string& bytes)
{
    Reference r;
    r.headers = ReferenceHeaders(bytes);
    for (const Header& h : r.headers) {
        if (h.length <= 0 || h.length > kLargestFrame || h.at + 4 + size_t(h.length) > bytes.size())
            continue;
        r.frames.push_back(bytes.substr(h.at + 4, size_t(h.length)));
        r.frameEnds.push_back(h.at + 4 + size_t(h.length));
    }
    return r;
}

// What a correct splitter shows after the first `fed` bytes of the stream.
struct Expected {
    size_t frames = 0; // whole frames within `fed`
    bool oversize = false;
    bool inFrame = false;
    size_t frameLength = 0; // length of the payload being gathered, if any
};

Expected ExpectedAfter(const Reference& r, size_t fed)
{
    Expected e;
    e.frames = size_t(std::upper_bound(r.frameEnds.begin(), r.frameEnds.end(), fed) - r.frameEnds.begin());
    // The last length field that starts before `fed`.
    const auto next =
        std::partition_point(r.headers.begin(), r.headers.end(), [fed](const Header& h) { return h.at < fed; });
    if (next == r.headers.begin()) {
        e.inFrame = fed > 0; // only part of the first length field has come
        return e;
    }
    const Header& last = *(next - 1);
    const size_t lengthEnd = last.at + 4;
    if (fed < lengthEnd) {
        e.inFrame = true;
        return e;
    }
    if (last.length > kLargestFrame) {
        e.oversize = true;
        return e;
    }
    const size_t frameEnd = lengthEnd + (last.length > 0 ? size_t(last.length) : 0);
    if (fed < frameEnd) {
        e.inFrame = true;
        e.frameLength = size_t(last.length);
    } else {
        e.inFrame = fed > frameEnd; // part of a length field the stream ends in
    }
    return e;
}

[[noreturn]] void Fail(const char* what, size_t fed, size_t detail)
{
    std::fprintf(stderr, "frame splitter fuzz: %s (stream offset %zu; %zu)\n", what, fed, detail);
    std::abort();
}

void Check(bool ok, const char* what, size_t fed, size_t detail = 0)
{
    if (!ok)
        Fail(what, fed, detail);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    const Stream stream = Decode(input, size);
    const Reference reference = Parse(stream.bytes);
    const std::vector<std::string>& want = reference.frames;

    CFrameSplitter splitter;
    size_t shown = 0;
    size_t fed = 0;
    for (size_t readEnd : stream.readEnds) {
        const auto* data = reinterpret_cast<const uint8_t*>(stream.bytes.data() + fed);
        const size_t readSize = readEnd - fed;
        const CFrameSplitter::Status status = splitter.Feed(data, readSize, [&](const char* payload, size_t length) {
            Check(shown < want.size(), "a frame the stream does not hold", fed, length);
            const std::string& next = want[shown];
            Check(length == next.size() && next.compare(0, length, payload, length) == 0,
                  "a frame differs from the stream's", fed, shown);
            Check(payload[length] == '\0', "a payload not followed by a zero byte", fed, length);
            Check(splitter.HeldBytes() <= length + 1 + CFrameSplitter::kKeptCapacity,
                  "more held than the frame being shown and the kept buffer", fed, splitter.HeldBytes());
            ++shown;
        });
        fed = readEnd;

        const Expected e = ExpectedAfter(reference, fed);
        // Each frame is shown as soon as its last byte has come, and none before.
        Check(shown == e.frames, "frames shown differ in number from those complete", fed, shown);
        Check((status == CFrameSplitter::Status::Oversize) == e.oversize, "wrong status", fed, size_t(status));
        Check(splitter.Failed() == e.oversize, "Failed() disagrees with the stream", fed);
        const size_t bound = (e.frameLength > 0 ? e.frameLength + 1 : 0) + CFrameSplitter::kKeptCapacity;
        Check(splitter.HeldBytes() <= bound, "more held than one frame and the kept buffer", fed, splitter.HeldBytes());
        if (!e.oversize)
            Check(splitter.InFrame() == e.inFrame, "InFrame() disagrees with the stream", fed);
    }
    return 0;
}
