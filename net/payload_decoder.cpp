#include "net/payload_decoder.h"

#include <windows.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "log/text_cut.h"

namespace {
// ASCII is the same in every ANSI code page: such a payload needs no conversion at all.
bool IsAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Appends the text of one piece of whole UTF-8 sequences to `out`. False when the piece is not
// valid UTF-8 or cannot be converted: then the payload shows nothing at all.
bool DecodePiece(std::string_view piece, CString& out)
{
    if (IsAscii(piece)) {
        out.append(piece.begin(), piece.end());
        return true;
    }
    const int count = static_cast<int>(piece.size());
    // Strict measure: any invalid sequence makes the whole payload empty.
    const int wideCount = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, piece.data(), count, nullptr, 0);
    if (wideCount == 0)
        return false;
    std::vector<wchar_t> wide(static_cast<size_t>(wideCount));
    ::MultiByteToWideChar(CP_UTF8, 0, piece.data(), count, wide.data(), wideCount);

    const int ansiCount = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideCount, nullptr, 0, nullptr, nullptr);
    std::vector<char> ansi(static_cast<size_t>(ansiCount));
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideCount, ansi.data(), ansiCount, nullptr, nullptr);

    // Each byte of the code page's text gives at most one unit back.
    const size_t before = out.size();
    out.resize(before + ansi.size());
    const int made = ::MultiByteToWideChar(CP_THREAD_ACP, 0, ansi.data(), ansiCount, &out[before], ansiCount);
    out.resize(before + static_cast<size_t>(made));
    return made != 0;
}

} // namespace

CString DecodePayload(const char* payload)
{
    CString result;
    if (!DecodePiece(payload, result))
        return CString();
    return result;
}

CPayloadDecoder::CPayloadDecoder(const char* payload, size_t length, size_t pieceBytes)
    : m_bytes(payload, ::strnlen(payload, length)), m_pieceBytes(pieceBytes > 0 ? pieceBytes : 1)
{
    // Each byte gives at most one unit: room for the whole text, so that it is never moved.
    m_text.reserve(m_bytes.size());
}

bool CPayloadDecoder::Step()
{
    if (m_invalid || m_done >= m_bytes.size())
        return true;
    const std::string_view rest(m_bytes.data() + m_done, m_bytes.size() - m_done);
    const size_t piece = Utf8Cut(rest, m_pieceBytes);
    if (!DecodePiece(rest.substr(0, piece), m_text)) {
        m_invalid = true;
        return true;
    }
    m_done += piece;
    return m_done >= m_bytes.size();
}

CString CPayloadDecoder::Take()
{
    while (!Step()) {
    }
    m_bytes = std::string(); // what the step no longer needs goes at once
    if (m_invalid)
        return CString();
    return std::move(m_text);
}

CString CPayloadDecoder::Whole() const
{
    if (m_invalid)
        return CString();
    CPayloadDecoder rest(m_bytes.data() + m_done, m_bytes.size() - m_done, m_pieceBytes);
    CString tail = rest.Take();
    if (rest.m_invalid)
        return CString();
    return m_text + tail;
}

size_t CPayloadDecoder::HeldBytes() const
{
    return m_bytes.size() + m_text.size() * sizeof(wchar_t); // the text's room is only touched as it fills
}
