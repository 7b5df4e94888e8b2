#include "follow/follow_decoder.h"

#include "common/unicode_text.h"

namespace zelsend {

DetectedText DetectText(std::string_view head)
{
    struct Bom {
        std::string_view bytes;
        TextKind kind;
    };
    static const Bom kBoms[] = {
        {"\xEF\xBB\xBF", TextKind::Utf8}, {"\xFF\xFE", TextKind::Utf16Le}, {"\xFE\xFF", TextKind::Utf16Be}};
    for (const Bom& bom : kBoms) {
        if (head.substr(0, bom.bytes.size()) == bom.bytes)
            return {true, bom.kind, bom.bytes.size()};
        if (head.size() < bom.bytes.size() && bom.bytes.substr(0, head.size()) == head)
            return {false, TextKind::Utf8, 0};
    }
    return {true, TextKind::Utf8, 0};
}

bool FollowDecoder::Open(unsigned codePage, std::string& error)
{
    if (codePage != 0 && !decoder_.Open(codePage, error))
        return false;
    codePage_ = codePage;
    return true;
}

void FollowDecoder::Decide(const DetectedText& detected)
{
    // A code page the user named wins over what the bytes look like.
    kind_ = codePage_ != 0 ? TextKind::CodePage : detected.kind;
    splitter_.Reset(kind_ == TextKind::Utf16Le   ? CodeUnit::Utf16Le
                    : kind_ == TextKind::Utf16Be ? CodeUnit::Utf16Be
                                                 : CodeUnit::Byte);
    deciding_ = false;
}

void FollowDecoder::Restart(std::vector<std::string>& lines)
{
    std::string rest = deciding_ ? std::string() : splitter_.TakeRest();
    if (!rest.empty())
        lines.push_back(ToUtf8(rest));
    deciding_ = true;
    head_.clear();
}

void FollowDecoder::StartAtEnd(std::string_view head)
{
    Decide(DetectText(head)); // too short to tell: it was not a BOM
    head_.clear();
}

void FollowDecoder::Feed(std::string_view bytes, std::vector<std::string>& lines)
{
    if (deciding_) {
        head_.append(bytes);
        const DetectedText detected = DetectText(head_);
        if (!detected.decided)
            return;
        Decide(detected);
        // A BOM marks the text's encoding and is no part of a line; in a code page the user
        // named, only UTF-8's own BOM is one.
        const bool bom = codePage_ == 0 || (codePage_ == kUtf8CodePage && detected.kind == TextKind::Utf8);
        splitter_.Append(std::string_view(head_).substr(bom ? detected.bomBytes : 0));
        head_.clear();
    } else {
        splitter_.Append(bytes);
    }
    std::string line;
    while (splitter_.Next(line))
        lines.push_back(ToUtf8(line));
}

std::string FollowDecoder::ToUtf8(std::string_view line) const
{
    switch (kind_) {
    case TextKind::Utf16Le:
        return Utf16ToUtf8(line, false);
    case TextKind::Utf16Be:
        return Utf16ToUtf8(line, true);
    case TextKind::CodePage:
        return RepairUtf8(decoder_.ToUtf8(line));
    case TextKind::Utf8:
        break;
    }
    return RepairUtf8(line);
}

} // namespace zelsend
