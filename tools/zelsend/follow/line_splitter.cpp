#include "follow/line_splitter.h"

namespace zelsend {

size_t LastLineStart(std::string_view text, CodeUnit unit)
{
    if (unit == CodeUnit::Byte) {
        const size_t lf = text.rfind('\n');
        return lf == std::string_view::npos ? lf : lf + 1;
    }
    const std::string_view lf = unit == CodeUnit::Utf16Le ? std::string_view("\n\0", 2) : std::string_view("\0\n", 2);
    for (size_t at = text.size() & ~size_t{1}; at >= 2; at -= 2)
        if (text.substr(at - 2, 2) == lf)
            return at;
    return std::string_view::npos;
}

void LineSplitter::Reset(CodeUnit unit)
{
    unit_ = unit;
    buffer_.clear();
    head_ = scan_ = 0;
}

void LineSplitter::Append(std::string_view bytes)
{
    // Lines taken are moved out only once they are most of the buffer, so each byte moves
    // a bounded number of times.
    if (head_ > 0 && head_ >= buffer_.size() / 2) {
        buffer_.erase(0, head_);
        scan_ -= head_;
        head_ = 0;
    }
    buffer_.append(bytes);
}

bool LineSplitter::IsUnit(size_t at, char16_t unit) const
{
    const auto b = [&](size_t i) { return static_cast<unsigned char>(buffer_[i]); };
    switch (unit_) {
    case CodeUnit::Byte:
        return b(at) == unit;
    case CodeUnit::Utf16Le:
        return b(at) == unit && b(at + 1) == 0;
    case CodeUnit::Utf16Be:
        return b(at) == 0 && b(at + 1) == unit;
    }
    return false;
}

bool LineSplitter::Next(std::string& line)
{
    const size_t unit = UnitSize();
    // Whole code units only: an odd byte at the end of UTF-16 waits for its other half.
    const size_t end = buffer_.size() - (buffer_.size() - head_) % unit;
    for (; scan_ + unit <= end; scan_ += unit) {
        if (IsUnit(scan_, u'\n')) {
            size_t stop = scan_;
            if (stop >= head_ + unit && IsUnit(stop - unit, u'\r'))
                stop -= unit;
            line.assign(buffer_, head_, stop - head_);
            head_ = scan_ += unit;
            return true;
        }
        if (scan_ + unit - head_ >= maxLine_) {
            scan_ += unit;
            line.assign(buffer_, head_, scan_ - head_);
            head_ = scan_;
            return true;
        }
    }
    return false;
}

std::string LineSplitter::TakeRest()
{
    std::string rest = buffer_.substr(head_);
    buffer_.clear();
    head_ = scan_ = 0;
    return rest;
}

} // namespace zelsend
