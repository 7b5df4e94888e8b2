// While the view is far behind, connections leave their data with the senders and read on
// once the view has taken the waiting text: memory stays bounded and nothing is lost.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "console_fixture.h"
#include "net/zel_server_socket.h"
#include "net/zel_socket.h"
#include "testkit/loopback_listener.h"
#include "testkit/pump.h"
#include "testkit/wire_text.h"
#include "ui/zel_log_console_dlg.h"

namespace {

struct RoomCase {
    const char* name;
    std::function<void(CZelLogConsoleDlg&)> makeRoom;
    std::function<CString(const CString& backlog, const CString& frame)> view;
};

class FlowControl : public ListeningConsoleFixture, public ::testing::WithParamInterface<RoomCase> {
protected:
    // The window is not asked to flush: the text waits until a case makes room.
    void OfferUnflushed(const CString& text)
    {
        Pipe().Offer(text);
        MSG msg;
        while (::PeekMessageW(&msg, m_dlg.m_hWnd, WM_ZEL_FLUSHLOG, WM_ZEL_FLUSHLOG, PM_REMOVE)) {
        }
    }
};

TEST_P(FlowControl, ConnectionWaitsWhileTheViewIsFarBehindAndReadsOnOnceThereIsRoom)
{
    // Lines up to the high mark wait for the view; nobody has asked the window to flush yet.
    const CString line = CString(98, L'x') + L"\r\n";
    CString backlog;
    while (backlog.size() < CPendingLog::kHighWater)
        backlog += line;
    OfferUnflushed(backlog);
    LoopbackClient client(m_port);
    const std::string text = "after the backlog\r\n";
    ASSERT_TRUE(client.Send(Frame(text)));

    ASSERT_TRUE(PumpUntil([] { return Pipe().PausedCount() == 1; })) << "the connection did not stop reading";
    PumpPending();
    EXPECT_EQ(Pipe().WaitingChars(), backlog.size()) << "the frame went into the full queue";

    GetParam().makeRoom(m_dlg);
    const CString expected = GetParam().view(backlog, Widen(text));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().size() >= expected.size(); }, 60000));
    EXPECT_TRUE(ViewText() == expected) << "the view holds " << ViewText().size() << " characters";
    EXPECT_EQ(Pipe().PausedCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    FlowControl, FlowControl,
    ::testing::Values(RoomCase{"ViewTakesTheWaitingText",
                               [](CZelLogConsoleDlg& dlg) { ::PostMessageW(dlg.m_hWnd, WM_ZEL_FLUSHLOG, 0, 0); },
                               [](const CString& backlog, const CString& frame) { return backlog + frame; }},
                      RoomCase{"OperatorClearsTheView",
                               [](CZelLogConsoleDlg& dlg) {
                                   ::SendMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_CLEAR_LOG, BN_CLICKED),
                                                  reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDC_CLEAR_LOG)));
                               },
                               [](const CString&, const CString& frame) { return frame; }},
                      RoomCase{"StatusLineWaitsItsTurn",
                               [](CZelLogConsoleDlg& dlg) {
                                   dlg.AppendLog(L"status\r\n");
                                   ::PostMessageW(dlg.m_hWnd, WM_ZEL_FLUSHLOG, 0, 0);
                               },
                               [](const CString& backlog, const CString& frame) {
                                   return backlog + L"status\r\n" + frame;
                               }}),
    [](const ::testing::TestParamInfo<RoomCase>& info) { return std::string(info.param.name); });

} // namespace
