#pragma once
// How often the operator sees the log view move: the view's pixels on the screen, read from
// outside every kEveryMs, and the time between two reads that differ. An append with the view's
// drawing held leaves the screen as it was, and a paint shows only once it reaches the screen,
// so a change is a paint that the operator could see. The view must not be covered.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "bench_stats.h"
#include "platform/scoped.h"
#include "testkit/background.h"
#include "testkit/pixels.h"

namespace zelbench {

class PaintGaps {
public:
    static constexpr DWORD kEveryMs = 10;
    // Pixels read from the left of each row of the view: enough for the lines' numbers.
    static constexpr int kStripWidth = 160;

    explicit PaintGaps(HWND view)
        : m_view(view), m_screen(::GetDC(nullptr)), m_memory(::CreateCompatibleDC(m_screen)),
          m_loop([this] { return Sample(); })
    {
    }
    ~PaintGaps()
    {
        m_loop.Stop();
        ::DeleteDC(m_memory);
        ::ReleaseDC(nullptr, m_screen);
    }
    PaintGaps(const PaintGaps&) = delete;
    PaintGaps& operator=(const PaintGaps&) = delete;

    // The gaps between changes that ended since the last call, in milliseconds; the gap still
    // open counts too, so that a view that stopped moving shows.
    Samples TakeInterval()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Samples taken = m_gaps;
        m_gaps = Samples();
        if (m_lastChange > 0)
            taken.Add((Now() - m_lastChange) * 1000);
        return taken;
    }

private:
    bool Sample()
    {
        RECT client;
        ::GetClientRect(m_view, &client);
        POINT origin = {0, 0};
        ::ClientToScreen(m_view, &origin);
        const int width = std::min<int>(kStripWidth, client.right);
        const int height = client.bottom;
        if (width <= 0 || height <= 0) {
            ::Sleep(kEveryMs);
            return true;
        }
        void* bits = nullptr;
        const GdiObject<HBITMAP> strip = TopDownBitmap(m_memory, width, height, &bits);
        if (!strip.Get() || !bits) {
            ::Sleep(kEveryMs);
            return true;
        }
        const HGDIOBJ before = ::SelectObject(m_memory, strip.Get());
        ::BitBlt(m_memory, 0, 0, width, height, m_screen, origin.x, origin.y, SRCCOPY);
        ::GdiFlush();
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        const bool changed = m_pixels.size() != bytes || std::memcmp(m_pixels.data(), bits, bytes) != 0;
        if (changed) {
            m_pixels.assign(static_cast<const char*>(bits), static_cast<const char*>(bits) + bytes);
            const double now = Now();
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_lastChange > 0)
                m_gaps.Add((now - m_lastChange) * 1000);
            m_lastChange = now;
        }
        ::SelectObject(m_memory, before);
        ::Sleep(kEveryMs);
        return true;
    }

    HWND m_view;
    HDC m_screen;
    HDC m_memory;
    std::vector<char> m_pixels; // the last read, on the loop's thread only
    std::mutex m_mutex;
    Samples m_gaps;
    double m_lastChange = 0;
    BackgroundLoop m_loop; // last: it stops before the rest goes
};

} // namespace zelbench
