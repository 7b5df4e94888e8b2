#include "bench_watcher.h"

#include <cstdio>

#include "res/resource.h"

namespace zelbench {
namespace {

void PressTab(bool withShift)
{
    INPUT keys[4] = {};
    int n = 0;
    auto key = [&](WORD vk, bool up) {
        keys[n].type = INPUT_KEYBOARD;
        keys[n].ki.wVk = vk;
        keys[n].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        ++n;
    };
    if (withShift)
        key(VK_SHIFT, false);
    key(VK_TAB, false);
    key(VK_TAB, true);
    if (withShift)
        key(VK_SHIFT, true);
    ::SendInput(n, keys, sizeof keys[0]);
}

} // namespace

void PrintRoundTrips(const WatchFigures& w)
{
    const Samples& r = w.roundTripMs;
    std::printf("  window round trip (%zu samples): median %.1f ms, p99 %.1f ms, max %.1f ms; %.1f %% over 100 ms\n",
                r.Count(), r.Median(), r.Quantile(0.99), r.Max(), 100.0 * r.ShareOver(100));
    if (w.keyMs.Count() > 0 || w.keysLost > 0)
        std::printf("  keyboard (Tab) until the focus moved (%zu presses): median %.1f ms, p99 %.1f ms, max %.1f ms; "
                    "not acted on within 10 s: %d\n",
                    w.keyMs.Count(), w.keyMs.Median(), w.keyMs.Quantile(0.99), w.keyMs.Max(), w.keysLost);
}

Watcher::Watcher(HWND window, HWND view, bool pressKeys, WatchFigures& figures)
    : m_figures(figures), m_roundTrips(window), m_paints([=] { WatchPaint(view); }), m_keys([=] {
          if (pressKeys)
              PressKeys(window);
      })
{
}

void Watcher::Stop()
{
    m_stop = true;
    if (m_paints.joinable())
        m_paints.join();
    if (m_keys.joinable())
        m_keys.join();
    m_roundTrips.Stop();
    Samples taken = m_roundTrips.TakeInterval();
    if (taken.Count() > 0)
        m_figures.roundTripMs = taken;
}

void Watcher::WatchPaint(HWND view)
{
    double staleSince = 0;
    while (!m_stop) {
        // While an append holds the view's drawing the view is hidden, which has no update
        // region, but the screen still shows the text from before it.
        const bool held = (::GetWindowLongW(view, GWL_STYLE) & WS_VISIBLE) == 0;
        const bool stale = held || ::GetUpdateRect(view, nullptr, FALSE) != 0;
        if (stale && staleSince == 0)
            staleSince = Now();
        if (!stale && staleSince != 0) {
            m_figures.staleMs.Add((Now() - staleSince) * 1000);
            staleSince = 0;
        }
        ::Sleep(5);
    }
    if (staleSince != 0)
        m_figures.staleMs.Add((Now() - staleSince) * 1000);
}

// Tab and Shift+Tab in turn move the focus between the "清空日志" and "保存日志" buttons, as an
// operator's keyboard would; the console's thread shows where its focus is. (The log view comes
// after the address field in the tab order: a view with the focus keeps its caret at the end on
// every append, which costs Wine's control far more than an append does without it.)
void Watcher::PressKeys(HWND window)
{
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    ::SetForegroundWindow(window);
    ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(window, IDC_CLEAR_LOG)), TRUE);
    bool back = false;
    while (!m_stop) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(thread, &info);
        const HWND before = info.hwndFocus;
        PressTab(back);
        back = !back;
        const double start = Now();
        for (;;) {
            ::GetGUIThreadInfo(thread, &info);
            if (info.hwndFocus != before) {
                m_figures.keyMs.Add((Now() - start) * 1000);
                break;
            }
            if (m_stop)
                break;
            if (Now() - start > 10) {
                ++m_figures.keysLost;
                break;
            }
            ::Sleep(2);
        }
        ::Sleep(200);
    }
}

} // namespace zelbench
