#pragma once
// What a receiver that stands in for the console is made of, on Windows and POSIX alike: a
// socket on a loopback port, and the whole frames in the bytes it has read so far. Built on the
// C++ client's own socket layer, which brings the system's socket headers.
#include <cstdint>
#include <string>
#include <string_view>

#include "zel_log_client.h"

namespace testkit {

// Binds `s` to 127.0.0.1:port (0: a port of the system's choosing); the port it holds, or 0
// when that failed.
inline uint16_t BindToLoopback(zel::detail::NativeSocket s, uint16_t port = 0)
{
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) != 0)
        return 0;
    return ntohs(at.sin_port);
}

// Calls `frame(payload)` for each whole frame (4-byte little-endian length, then the payload)
// at the front of `bytes` and takes them out; a frame not yet whole stays for the next read.
template <class Frame>
void TakeWholeFrames(std::string& bytes, Frame frame)
{
    size_t at = 0;
    while (bytes.size() - at >= 4) {
        const size_t size = zel::detail::FrameSizeAt(bytes, at);
        if (bytes.size() - at < size)
            break;
        frame(std::string_view(bytes).substr(at + 4, size - 4));
        at += size;
    }
    bytes.erase(0, at);
}

} // namespace testkit
