#pragma once
// Turns a frame's UTF-8 payload into the view's UTF-16 text by way of the system's ANSI code
// page, so the view shows the payload as far as that code page holds it.
#include <cstddef>
#include <string>

#include "log/text_in_making.h"
#include "platform/cstring.h"

// payload: zero-terminated; the text ends at its first zero byte. Invalid UTF-8 gives "".
CString DecodePayload(const char* payload);

// A large payload decoded a piece at a time, one piece per Step, so that no step holds the
// window for long (a 16 MiB payload at once took about 400 ms). The pieces are cut between
// UTF-8 sequences, so the text is what DecodePayload makes of the whole payload, and one
// invalid sequence anywhere still leaves nothing to show.
class CPayloadDecoder : public CTextInMaking {
public:
    // About 12 ms of decoding on a busy machine.
    static constexpr size_t kPieceBytes = 512 * 1024;

    // Copies the payload's text: up to its first zero byte, or `length` bytes.
    CPayloadDecoder(const char* payload, size_t length, size_t pieceBytes = kPieceBytes);

    bool Step() override;
    CString Take() override;
    CString Whole() const override;
    size_t HeldBytes() const override;
    size_t MostChars() const override { return m_bytes.size(); }

private:
    std::string m_bytes;
    size_t m_pieceBytes;
    size_t m_done = 0; // bytes decoded so far
    bool m_invalid = false;
    CString m_text;
};
