#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/save_dialog_driver.h"
#include "testkit/temp_dir.h"
#include "testkit/test_client.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace {

class SaveLogE2E : public ::testing::Test {
protected:
    // Clicks the save button, answers the real save dialog with path and checks the message
    // box that follows; whileOpen runs while the dialog is up.
    template <class WhileOpen>
    void SaveThroughTheDialog(const std::wstring& path, WhileOpen whileOpen)
    {
        m_console.Click(IDC_SAVE_LOG);
        const HWND dialog = savedlg::WaitForOwnedDialog(m_console.ProcessId(), m_console.Window());
        ASSERT_NE(dialog, nullptr) << "no save dialog owned by the console window";
        EXPECT_EQ(savedlg::FileTypes(dialog), (std::vector<std::wstring>{L"日志文件(*.txt)", L"All Files (*.*)"}));
        whileOpen();
        ASSERT_TRUE(savedlg::ConfirmName(dialog, path)) << "no file name field";
        ASSERT_TRUE(savedlg::WaitUntilGone(dialog));

        // The success box: the console's, captioned with the program's name, OK only.
        const HWND box = savedlg::WaitForOwnedDialog(m_console.ProcessId(), m_console.Window());
        ASSERT_NE(box, nullptr) << "no message box after the save";
        EXPECT_EQ(TextOf(box), L"ZelLogConsole");
        EXPECT_EQ(TextOf(::GetDlgItem(box, savedlg::kMessageText)), L"保存日志文件成功！");
        EXPECT_EQ(savedlg::VisibleButtons(box), std::vector<int>{IDOK});
        EXPECT_FALSE(savedlg::ShowsIcon(box));
        savedlg::Press(box, IDOK);
        ASSERT_TRUE(savedlg::WaitUntilGone(box));
    }

    CConsoleProcess m_console;
    TempDir m_dir;
};

// The operator starts the service, saves, then saves again over the same file while a client
// sends a frame with the dialog open.
TEST_F(SaveLogE2E, RealDialogSavesTheViewInCodePage936)
{
    ASSERT_EQ(m_console.StartWithService(), nullptr);
    ASSERT_EQ(m_console.Text(IDC_LOG_VIEW), kStarted);

    const std::wstring path = m_dir.File(L"console.txt");
    SaveThroughTheDialog(path, [] {});
    EXPECT_EQ(FileText(path), std::string(kStartedLine936) + "\r\n");

    TestClient client;
    ASSERT_EQ(client.Connect(), 0);
    const std::wstring withFrame = std::wstring(kStarted) + L"保存中到达的帧\n";
    SaveThroughTheDialog(path, [&] {
        const std::string payload =
            "\xe4\xbf\x9d\xe5\xad\x98\xe4\xb8\xad\xe5\x88\xb0\xe8\xbe\xbe\xe7\x9a\x84\xe5\xb8\xa7\n";
        ASSERT_TRUE(client.Send(Frame(payload)));
        EXPECT_TRUE(ViewShows(m_console, withFrame)) << "frames are shown while the save dialog is open";
    });
    EXPECT_EQ(FileText(path),
              std::string(kStartedLine936) + "\r\n" + "\xb1\xa3\xb4\xe6\xd6\xd0\xb5\xbd\xb4\xef\xb5\xc4\xd6\xa1\r\n");
    client.Close();

    EXPECT_EQ(m_console.Text(IDC_LOG_VIEW), withFrame) << "saving leaves the view as it was";
    EXPECT_EQ(m_console.Text(IDC_SERVICE_BUTTON), kCaptionStop) << "saving leaves the service listening";
}

// Real logs from three clients at once: JSON lines of 150 to 400 characters, a stack trace with
// Chinese in one frame, short lines. Each frame shows whole and contiguous, each client's in
// order, the view read as sent; the file saved from it holds that text, byte for byte.
TEST_F(SaveLogE2E, WideLinesFromSeveralClientsShowWholeAndSaveAsSent)
{
    ASSERT_EQ(m_console.StartWithService(), nullptr);
    std::vector<std::vector<std::string>> frames(3);
    for (int i = 0; i < 40; ++i) {
        std::string json =
            "{\"ts\": \"2026-12-10T15:00:" + std::to_string(10 + i) + "Z\", \"level\": \"info\", \"msg\": \"";
        json += std::string(static_cast<size_t>(100 + i * 7 % 250), 'a' + i % 26) +
                "\", \"trace\": \"4bf92f3577b34da6\"}\r\n";
        frames[0].push_back(json);
        frames[2].push_back("short line " + std::to_string(i) + "\r\n");
    }
    for (int t = 0; t < 3; ++t) {
        std::string trace = "System.InvalidOperationException: \xe8\xae\xa2\xe5\x8d\x95 " + std::to_string(t) +
                            " \xe5\xa4\xb1\xe8\xb4\xa5 (order failed)\r\n";
        for (int f = 0; f < 40; ++f)
            trace += "   at Zel.Orders.Service.Handle" + std::to_string(f) +
                     "(OrderRequest request, CancellationToken token) in C:\\src\\Zel\\Orders\\Service.cs:line " +
                     std::to_string(100 + f) + "\r\n";
        frames[1].push_back(trace);
    }
    std::vector<TestClient> clients(3);
    for (TestClient& client : clients)
        ASSERT_EQ(client.Connect(), 0);
    for (size_t i = 0; i < 40; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            if (i < frames[c].size()) {
                ASSERT_TRUE(clients[c].Send(Frame(frames[c][i])));
            }
        }
    }

    std::wstring view;
    const auto shown = [&](const std::wstring& text) {
        view = AsSent(text);
        for (size_t c = 0; c < 3; ++c) {
            size_t at = 0;
            for (const std::string& frame : frames[c]) {
                at = view.find(FromUtf8(frame), at);
                if (at == std::wstring::npos)
                    return false;
            }
        }
        return true;
    };
    ASSERT_TRUE(m_console.WaitForText(IDC_LOG_VIEW, shown, 30000))
        << "a frame is missing, cut, or out of its client's order";
    std::wstring all;
    for (const auto& client : frames)
        for (const std::string& frame : client)
            all += FromUtf8(frame);
    EXPECT_EQ(view.size(), std::wstring(kStarted).size() + all.size()) << "the view holds more than was sent";

    const std::wstring path = m_dir.File(L"wide.txt");
    SaveThroughTheDialog(path, [] {});
    const int size =
        ::WideCharToMultiByte(936, 0, view.data(), static_cast<int>(view.size()), nullptr, 0, nullptr, nullptr);
    std::string cp936(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(936, 0, view.data(), static_cast<int>(view.size()), cp936.data(), size, nullptr, nullptr);
    EXPECT_TRUE(FileText(path) == cp936) << "the saved file is not the text as sent";
}

} // namespace
