#pragma once
// A listener on a loopback port that reads log frames the way the console does, with the
// console's own frame splitter, and keeps them for the tests to check. It can stop and start
// again on the same port, as a console that restarts would. Builds on Windows and POSIX.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/frame_splitter.h"
#include "testkit/receiver_parts.h"
#include "zel_log_client.h"

class FrameReceiver {
public:
    // keepFrames false: only count them (the bench sends millions).
    explicit FrameReceiver(bool keepFrames = true) : m_keep(keepFrames) {}
    ~FrameReceiver() { Stop(); }
    FrameReceiver(const FrameReceiver&) = delete;
    FrameReceiver& operator=(const FrameReceiver&) = delete;

    // Listens on 127.0.0.1:port (0: any free port, kept for later starts).
    bool Start(uint16_t port = 0)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
        const uint16_t bound = testkit::BindToLoopback(m_listener, port);
        if (bound == 0 || ::listen(m_listener, 16) != 0) {
            CloseListener();
            return false;
        }
        m_port = bound;
        m_running = true;
        m_thread = std::thread([this] { Serve(); });
        return true;
    }

    // Closes the listener and every connection, as a console that exits.
    void Stop()
    {
        if (!m_running)
            return;
        m_running = false;
        m_thread.join();
        CloseListener();
    }

    uint16_t Port() const { return m_port; }
    // While paused nothing is accepted or read: a console busy elsewhere, whose clients' bytes
    // wait in the system's buffers.
    void Pause(bool paused) { m_paused = paused; }

    // A loopback port that nobody listens on: found by listening once, then closed again.
    static uint16_t FreePort()
    {
        FrameReceiver probe;
        return probe.Start() ? probe.Port() : 0;
    }

    std::vector<std::string> Frames() const { return Locked(m_frames); }
    size_t FrameCount() const { return Locked(m_count); }
    // Frames that report lines the client dropped.
    size_t NoticeCount() const { return Locked(m_notices); }
    uint64_t Bytes() const { return Locked(m_bytes); }
    bool Oversize() const { return m_oversize; }

    // Waits until `count` frames have arrived in all; false at the limit.
    bool WaitForFrames(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_arrived.wait_for(lock, limit, [&] { return m_count >= count; });
    }

    // Waits until `count` connections have ended (their frames all taken); false at the limit.
    bool WaitForEnded(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_arrived.wait_for(lock, limit, [&] { return m_ended >= count; });
    }

    // Waits until `count` frames other than drop notices have arrived; false at the limit.
    bool WaitForLines(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_arrived.wait_for(lock, limit, [&] { return m_count - m_notices >= count; });
    }

private:
    void CloseListener()
    {
        if (m_listener != zel::detail::kNoSocket)
            zel::detail::CloseNative(m_listener);
        m_listener = zel::detail::kNoSocket;
    }

    // A copy of a member the serving thread writes.
    template <class T>
    T Locked(const T& member) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return member;
    }

    struct Peer {
        zel::detail::NativeSocket socket;
        CFrameSplitter splitter;
    };

    // One thread serves the listener and all connections, polling each in turn.
    void Serve()
    {
        std::vector<std::unique_ptr<Peer>> peers;
        std::vector<uint8_t> buffer(1 << 16);
        while (m_running) {
            if (m_paused) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            bool idle = true;
            if (zel::detail::Wait(m_listener, false, 0)) {
                const auto s = ::accept(m_listener, nullptr, nullptr);
                if (s != zel::detail::kNoSocket)
                    peers.push_back(std::make_unique<Peer>(Peer{s, {}}));
            }
            for (size_t i = 0; i < peers.size();) {
                Peer& peer = *peers[i];
                if (!zel::detail::Wait(peer.socket, false, 0)) {
                    ++i;
                    continue;
                }
                idle = false;
                const auto n = ::recv(peer.socket, reinterpret_cast<char*>(buffer.data()), int(buffer.size()), 0);
                if (n > 0 && Take(peer, buffer.data(), size_t(n))) {
                    ++i;
                    continue;
                }
                zel::detail::CloseNative(peer.socket);
                peers.erase(peers.begin() + long(i));
                Ended();
            }
            if (idle)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (auto& peer : peers)
            zel::detail::CloseNative(peer->socket);
    }

    void Ended()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_ended;
        m_arrived.notify_all();
    }

    bool Take(Peer& peer, const uint8_t* data, size_t size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes += size;
        const auto status = peer.splitter.Feed(data, size, [this](const char* payload, size_t length) {
            ++m_count;
            if (std::string_view(payload, length).rfind("[zel::LogClient: ", 0) == 0)
                ++m_notices;
            if (m_keep)
                m_frames.emplace_back(payload, length);
        });
        m_arrived.notify_all();
        if (status == CFrameSplitter::Status::Ok)
            return true;
        m_oversize = true; // as the console does: a frame it refuses ends the connection
        return false;
    }

    zel::detail::SocketLibrary m_library;
    const bool m_keep;
    zel::detail::NativeSocket m_listener = zel::detail::kNoSocket;
    uint16_t m_port = 0;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_oversize{false};
    std::atomic<bool> m_paused{false};
    std::thread m_thread;
    std::vector<std::string> m_frames;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    size_t m_count = 0;
    size_t m_notices = 0;
    size_t m_ended = 0;
    uint64_t m_bytes = 0;
};
