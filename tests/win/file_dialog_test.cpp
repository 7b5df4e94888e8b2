#include <gtest/gtest.h>

#include <thread>

#include "platform/file_dialog.h"
#include "platform/win_app.h"
#include "testkit/case_table.h"
#include "testkit/save_dialog_driver.h"
#include "testkit/temp_dir.h"
#include "ui/zel_log_console_dlg.h"

namespace {

const wchar_t kFilter[] = L"日志文件(*.txt)|*.txt|All Files (*.*)|*.*||";

struct FilterCase {
    const char* name;
    const wchar_t* filter;
    std::vector<std::pair<CString, CString>> entries;
};

const FilterCase kFilterCases[] = {
    {"LogFilesThenAllFiles", kFilter, {{L"日志文件(*.txt)", L"*.txt"}, {L"All Files (*.*)", L"*.*"}}},
    {"WithoutClosingBars", L"Text|*.txt", {{L"Text", L"*.txt"}}},
    {"SeveralPatternsInOneEntry", L"Logs|*.txt;*.log||", {{L"Logs", L"*.txt;*.log"}}},
    {"NameWithoutPatternIsDropped", L"Text|*.txt|Other||", {{L"Text", L"*.txt"}}},
    {"Empty", L"", {}},
    {"None", nullptr, {}},
};

TEST(SaveDialogFilter, SplitsIntoNameAndPatternPairs)
{
    ForEachCase(kFilterCases, [](const FilterCase& c) { EXPECT_EQ(CFileDialog::ParseFilter(c.filter), c.entries); });
}

// What the operator, played by a second thread, saw of the dialog and did with it.
struct Operator {
    HWND dialog = nullptr;
    std::vector<std::wstring> fileTypes;
    bool askedToReplace = false;
    bool gone = false;
};

// The real save dialog, newer and older kind, opened over a real console window and answered
// from another thread as the operator would.
class SaveDialogReal : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_console.Create());
        m_app.m_pMainWnd = &m_console;
    }
    void TearDown() override { m_app.m_pMainWnd = nullptr; }

    // Runs the dialog; the operator types answer into it, or cancels it when answer is empty.
    INT_PTR Run(CFileDialog& dialog, const std::wstring& answer)
    {
        const HWND owner = m_console.m_hWnd;
        std::thread operatorThread([this, owner, answer] {
            Operator& op = m_operator;
            op.dialog = savedlg::WaitForOwnedDialog(::GetCurrentProcessId(), owner);
            if (!op.dialog)
                return;
            op.fileTypes = savedlg::FileTypes(op.dialog);
            if (answer.empty())
                savedlg::Press(op.dialog, IDCANCEL);
            else
                savedlg::ConfirmName(op.dialog, answer);
            // A question before replacing would be a dialog owned by the save dialog.
            op.gone = savedlg::WaitUntilGone(op.dialog, 20000, [&] {
                if (HWND question = savedlg::WaitForOwnedDialog(::GetCurrentProcessId(), op.dialog, 0)) {
                    op.askedToReplace = true;
                    savedlg::Press(question, IDYES);
                }
                ::Sleep(20);
            });
        });
        const INT_PTR result = dialog.DoModal();
        operatorThread.join();
        return result;
    }

    CWinApp m_app;
    CZelLogConsoleDlg m_console;
    Operator m_operator;
    TempDir m_dir;
};

TEST_P(SaveDialogReal, ListsTheFiltersAndIsOwnedByTheMainWindow)
{
    CFileDialog dialog(L".txt", nullptr, OFN_HIDEREADONLY, kFilter, nullptr, GetParam());
    EXPECT_EQ(Run(dialog, L""), IDCANCEL);
    ASSERT_NE(m_operator.dialog, nullptr) << "no dialog owned by the main window";
    EXPECT_EQ(m_operator.fileTypes, (std::vector<std::wstring>{L"日志文件(*.txt)", L"All Files (*.*)"}));
    EXPECT_TRUE(m_operator.gone);
}

TEST_P(SaveDialogReal, CancelGivesNoPath)
{
    CFileDialog dialog(L".txt", nullptr, OFN_HIDEREADONLY, kFilter, nullptr, GetParam());
    EXPECT_EQ(Run(dialog, L""), IDCANCEL);
    EXPECT_EQ(dialog.GetPathName(), L"");
}

TEST_P(SaveDialogReal, NameWithoutExtensionGetsTxt)
{
    CFileDialog dialog(L".txt", nullptr, OFN_HIDEREADONLY, kFilter, nullptr, GetParam());
    EXPECT_EQ(Run(dialog, m_dir.File(L"report")), IDOK);
    EXPECT_EQ(dialog.GetPathName(), m_dir.File(L"report.txt"));
}

TEST_P(SaveDialogReal, ExistingFileIsTakenWithoutAQuestion)
{
    const CString existing = m_dir.File(L"old.txt");
    WriteFileBytes(existing, "old");
    CFileDialog dialog(L".txt", nullptr, OFN_HIDEREADONLY, kFilter, nullptr, GetParam());
    EXPECT_EQ(Run(dialog, existing), IDOK);
    EXPECT_EQ(dialog.GetPathName(), existing);
    EXPECT_FALSE(m_operator.askedToReplace);
}

// The flag asks for the question: the dialog must pass it on, so its absence above means something.
TEST_P(SaveDialogReal, OverwritePromptFlagAsksBeforeReplacing)
{
    const CString existing = m_dir.File(L"old.txt");
    WriteFileBytes(existing, "old");
    CFileDialog dialog(L".txt", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kFilter, nullptr, GetParam());
    EXPECT_EQ(Run(dialog, existing), IDOK);
    EXPECT_TRUE(m_operator.askedToReplace);
}

INSTANTIATE_TEST_SUITE_P(SaveDialog, SaveDialogReal, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "ItemDialog" : "CommonDialog");
                         });

} // namespace
