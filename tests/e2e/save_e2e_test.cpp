#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>

#include "res/resource.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/save_dialog_driver.h"
#include "testkit/temp_dir.h"
#include "testkit/test_client.h"
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

} // namespace
