#include "net/frame_splitter.h"

#include <algorithm>
#include <cstring>

CFrameSplitter::Status CFrameSplitter::Feed(const uint8_t* data, size_t size, const FrameHandler& onFrame)
{
    if (m_failed)
        return Status::Oversize;

    while (size > 0) {
        if (!m_inPayload) {
            const size_t take = std::min(size, sizeof m_lengthBytes - m_lengthFill);
            std::memcpy(m_lengthBytes + m_lengthFill, data, take);
            m_lengthFill += take;
            data += take;
            size -= take;
            if (m_lengthFill < sizeof m_lengthBytes)
                break;
            m_lengthFill = 0;

            const uint32_t raw = uint32_t(m_lengthBytes[0]) | uint32_t(m_lengthBytes[1]) << 8 |
                                 uint32_t(m_lengthBytes[2]) << 16 | uint32_t(m_lengthBytes[3]) << 24;
            const int32_t length = static_cast<int32_t>(raw);
            if (length <= 0)
                continue; // an empty or negative frame consumes only its length
            if (length > kMaxPayload) {
                m_failed = true;
                std::vector<char>().swap(m_payload);
                return Status::Oversize;
            }
            m_payloadLength = static_cast<size_t>(length);
            m_payload.clear();
            m_inPayload = true;
        }

        // The buffer grows with the bytes that actually arrive, never past the frame itself:
        // a client that announces a large frame and goes quiet costs only what it sent.
        const size_t take = std::min(size, m_payloadLength - m_payload.size());
        const size_t needed = m_payload.size() + take + 1;
        if (needed > m_payload.capacity())
            m_payload.reserve(
                std::min(m_payloadLength + 1,
                         std::max(needed, m_payload.capacity() + std::min(m_payload.capacity(), kGrowStep))));
        m_payload.insert(m_payload.end(), data, data + take);
        data += take;
        size -= take;
        if (m_payload.size() < m_payloadLength)
            break;

        m_inPayload = false;
        m_payload.push_back('\0');
        onFrame(m_payload.data(), m_payloadLength);
        if (m_payload.capacity() > kKeptCapacity)
            std::vector<char>().swap(m_payload);
    }
    return Status::Ok;
}
