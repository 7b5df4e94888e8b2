#pragma once
// Splits the byte stream of one connection into log frames: a 4-byte little-endian signed
// length L, then L bytes of payload. Bytes may arrive cut at any point; the splitter keeps
// what it has of the current frame between reads. Needs no window or socket, so it can be
// tested and fuzzed on its own.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CFrameSplitter {
public:
    // Larger lengths are taken as a client that does not speak the protocol (an HTTP request's
    // first bytes read as about 540 MB): no such frame is ever allocated.
    static constexpr int32_t kMaxPayload = 16 * 1024 * 1024;
    // Past a large frame the payload buffer is released rather than kept at its peak size.
    static constexpr size_t kKeptCapacity = 64 * 1024;
    // The payload buffer grows by doubling up to this step, then by this step: what it holds
    // beyond the bytes that arrived stays small, since memory across connections is budgeted.
    static constexpr size_t kGrowStep = 1024 * 1024;

    enum class Status { Ok, Oversize };

    // Called once for each whole frame, in order: payload is followed by one zero byte.
    using FrameHandler = std::function<void(const char* payload, size_t length)>;

    // Feeds the next bytes of the stream. After Oversize the stream cannot be followed any
    // further and the splitter takes no more bytes.
    Status Feed(const uint8_t* data, size_t size, const FrameHandler& onFrame);

    // Gives back the payload buffer kept between frames, for a connection that has gone quiet:
    // kept by many idle connections, it would hold the memory budgeted for frames under way.
    // Does nothing inside a payload.
    void ReleaseBuffer()
    {
        if (!m_inPayload)
            std::vector<char>().swap(m_payload);
    }
    // True while part of a frame (length or payload) is held.
    bool InFrame() const { return m_lengthFill > 0 || m_inPayload; }
    // Bytes of memory held for the current frame.
    size_t HeldBytes() const { return m_payload.capacity(); }
    // The announced length of the frame whose payload is arriving; 0 between payloads.
    size_t FrameLength() const { return m_inPayload ? m_payloadLength : 0; }
    bool Failed() const { return m_failed; }

private:
    uint8_t m_lengthBytes[4] = {};
    size_t m_lengthFill = 0;
    bool m_inPayload = false;
    std::vector<char> m_payload; // the payload so far; a zero byte follows it once whole
    size_t m_payloadLength = 0;
    bool m_failed = false;
};
