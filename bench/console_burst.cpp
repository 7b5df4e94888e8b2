#include "console_burst.h"

#include <winsock2.h>

#include <psapi.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "bench_console.h"
#include "bench_payload.h"
#include "bench_round_trips.h"
#include "console_process.h"
#include "res/resource.h"
#include "tests/common/wire_text.h"

namespace zelbench {
namespace {

constexpr double kMB = 1024.0 * 1024.0;

bool SendAll(SOCKET s, const std::string& bytes)
{
    constexpr size_t kWrite = 64 * 1024;
    for (size_t at = 0; at < bytes.size();) {
        const int n = ::send(s, bytes.data() + at, static_cast<int>(std::min(kWrite, bytes.size() - at)), 0);
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

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

// Samples the window's answers and the view's pending paint until told to stop.
class Watcher {
public:
    Watcher(HWND window, HWND view, bool pressKeys, BurstResult& result)
        : m_result(result), m_roundTrips(window), m_paints([=, &result] {
              double staleSince = 0;
              while (!m_stop) {
                  const bool stale = ::GetUpdateRect(view, nullptr, FALSE) != 0;
                  if (stale && staleSince == 0)
                      staleSince = Now();
                  if (!stale && staleSince != 0) {
                      result.staleMs.Add((Now() - staleSince) * 1000);
                      staleSince = 0;
                  }
                  ::Sleep(5);
              }
              if (staleSince != 0)
                  result.staleMs.Add((Now() - staleSince) * 1000);
          }),
          m_keys([=, &result] {
              if (!pressKeys)
                  return;
              // Tab and Shift+Tab in turn move the focus between the "清空日志" and "保存日志"
              // buttons, as an operator's keyboard would; the console's thread shows where its
              // focus is. (The log view comes after the address field in the tab order: a
              // view with the focus keeps its caret at the end on every append, which costs
              // Wine's control far more than an append does without it.)
              const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
              ::SetForegroundWindow(window);
              ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(window, IDC_CLEAR_LOG)),
                             TRUE);
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
                          result.keyMs.Add((Now() - start) * 1000);
                          break;
                      }
                      if (m_stop)
                          break;
                      if (Now() - start > 10) {
                          ++result.keysLost;
                          break;
                      }
                      ::Sleep(2);
                  }
                  ::Sleep(200);
              }
          })
    {
    }
    ~Watcher() { Stop(); }
    void Stop()
    {
        m_stop = true;
        m_roundTrips.Stop();
        m_result.roundTripMs = m_roundTrips.TakeInterval();
        if (m_paints.joinable())
            m_paints.join();
        if (m_keys.joinable())
            m_keys.join();
    }

private:
    std::atomic<bool> m_stop{false};
    BurstResult& m_result;
    RoundTrips m_roundTrips;
    std::thread m_paints;
    std::thread m_keys;
};

} // namespace

BurstResult RunConsoleBurst(const BenchLoad& load, bool pressKeys, bool focusView)
{
    BurstResult result;
    CConsoleProcess console;
    if (!console.Start()) {
        result.error = "the console did not start";
        return result;
    }
    console.Click(IDC_SERVICE_BUTTON);
    if (!console.WaitForText(IDC_SERVICE_BUTTON, [](const std::wstring& t) { return t == L"关闭"; })) {
        result.error = "the service did not start";
        return result;
    }
    const int before = console.TextLength(IDC_LOG_VIEW);
    result.idleWorkingSetMB = static_cast<double>(Memory(console.Process()).WorkingSetSize) / kMB;

    std::vector<std::string> streams;
    std::vector<SOCKET> sockets;
    for (int c = 0; c < load.clients; ++c) {
        streams.push_back(ClientStream(load, c));
        sockets.push_back(ConnectClient());
        if (sockets.back() == INVALID_SOCKET) {
            result.error = "a client could not connect";
            return result;
        }
    }
    const size_t expected = static_cast<size_t>(before) + static_cast<size_t>(load.Frames()) * load.frameSize;

    std::atomic<bool> go{false};
    std::atomic<int> failed{0};
    std::vector<std::thread> senders;
    for (int c = 0; c < load.clients; ++c) {
        senders.emplace_back([&, c] {
            while (!go)
                ::Sleep(0);
            if (!SendAll(sockets[c], streams[c]))
                ++failed;
        });
    }
    if (focusView) {
        ::SetForegroundWindow(console.Window());
        ::SendMessageW(console.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(console.Control(IDC_LOG_VIEW)), TRUE);
    }
    ::Sleep(100); // every sender waits at the line

    {
        Watcher watcher(console.Window(), console.Control(IDC_LOG_VIEW), pressKeys, result);
        const double start = Now();
        go = true;
        for (;;) {
            const int length = console.TextLength(IDC_LOG_VIEW);
            if (length >= 0 && static_cast<size_t>(length) >= expected)
                break;
            if (failed || Now() - start > 600) {
                result.error = failed ? "a client could not send" : "the view did not fill within 10 minutes";
                break;
            }
            ::Sleep(5);
        }
        result.seconds = Now() - start;
    }
    for (std::thread& t : senders)
        t.join();

    const PROCESS_MEMORY_COUNTERS memory = Memory(console.Process());
    result.peakWorkingSetMB = static_cast<double>(memory.PeakWorkingSetSize) / kMB;
    result.peakPrivateMB = static_cast<double>(memory.PeakPagefileUsage) / kMB;

    const std::wstring view = console.Text(IDC_LOG_VIEW);
    result.viewChars = view.size();
    result.viewLines = static_cast<int>(::SendMessageW(console.Control(IDC_LOG_VIEW), EM_GETLINECOUNT, 0, 0));
    const zelsend::BenchCheck check = zelsend::VerifyBenchText(ToUtf8(view), load.clients, load.framesPerClient);
    result.verified = check.Ok() && check.ignored == 1 && view.size() == expected;
    result.verifySummary = check.Summary();
    for (SOCKET s : sockets)
        ::closesocket(s);
    return result;
}

} // namespace zelbench
