#pragma once
// Splits a stream of bytes into lines, however the reads cut it. A line ends at LF, and a CR
// just before the LF goes with it. In UTF-16 a line break is the code unit LF at an even offset,
// so the bytes 0A 00 inside a character never end a line.
#include <cstddef>
#include <string>
#include <string_view>

namespace zelsend {

enum class CodeUnit { Byte, Utf16Le, Utf16Be };

// Where the last line of `text` starts: just after its last line break, or npos when it holds
// none. `text` starts at a whole code unit.
size_t LastLineStart(std::string_view text, CodeUnit unit);

class LineSplitter {
public:
    // A line that reaches `maxLine` bytes without its end is handed out in pieces of that size,
    // so that a file with no line breaks cannot grow the splitter without bound.
    explicit LineSplitter(size_t maxLine, CodeUnit unit = CodeUnit::Byte) : maxLine_(maxLine), unit_(unit) {}

    // Starts over with another code unit, dropping whatever is held.
    void Reset(CodeUnit unit);
    void Append(std::string_view bytes);
    // Takes the next whole line, without its line break; false when none is complete yet.
    bool Next(std::string& line);
    // Takes what waits for its line break (a last line cut off by rotation or truncation).
    std::string TakeRest();
    size_t Held() const { return buffer_.size() - head_; }
    CodeUnit Unit() const { return unit_; }

private:
    size_t UnitSize() const { return unit_ == CodeUnit::Byte ? 1 : 2; }
    bool IsUnit(size_t at, char16_t unit) const;

    size_t maxLine_;
    CodeUnit unit_;
    std::string buffer_;
    size_t head_ = 0; // where the next line starts
    size_t scan_ = 0; // how far buffer_ holds no line break
};

} // namespace zelsend
