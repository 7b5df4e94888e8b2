#pragma once
// Turns the bytes of a followed file into lines of UTF-8, however they are read. The file's
// text is UTF-8, or UTF-16 when the file starts with a UTF-16 BOM, unless the user named its
// code page. A line without its end waits for it.
#include "follow/line_splitter.h"
#include "port/text_decoder.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelsend {

enum class TextKind { Utf8, Utf16Le, Utf16Be, CodePage };

// What the first bytes of a file say about its text.
struct DetectedText {
    bool decided = false; // false: too few bytes yet, and they could still begin a BOM
    TextKind kind = TextKind::Utf8;
    size_t bomBytes = 0;
};

DetectedText DetectText(std::string_view head);

class FollowDecoder {
public:
    // A longer line goes in pieces of this many bytes: far within a frame, even as UTF-8.
    static constexpr size_t kMaxLineBytes = 1024 * 1024;

    FollowDecoder() : splitter_(kMaxLineBytes) {}

    // 0: UTF-8 or UTF-16 after a BOM; otherwise every file followed is in Windows code page
    // `codePage`. False with `error` when the system does not know the code page.
    bool Open(unsigned codePage, std::string& error);
    // Reading starts from the file's start (a new file, or one truncated): its first bytes
    // decide its text again. A line cut off before is handed out first, as the last of its file.
    void Restart(std::vector<std::string>& lines);
    // Reading starts where the file ends now; `head` is its first bytes, for its BOM.
    void StartAtEnd(std::string_view head);
    // The bytes read next: appends each line they complete to `lines`, as UTF-8 without its end.
    void Feed(std::string_view bytes, std::vector<std::string>& lines);
    // The code unit of the text, once its first bytes have decided it.
    CodeUnit Unit() const { return splitter_.Unit(); }

private:
    void Decide(const DetectedText& detected);
    std::string ToUtf8(std::string_view line) const;

    unsigned codePage_ = 0;
    TextDecoder decoder_;
    TextKind kind_ = TextKind::Utf8;
    bool deciding_ = true;
    std::string head_; // a file's first bytes while they may still be a BOM
    LineSplitter splitter_;
};

} // namespace zelsend
