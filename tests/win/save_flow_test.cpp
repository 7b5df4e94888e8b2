#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>

#include "console_fixture.h"
#include "testkit/console_texts.h"
#include "testkit/pump.h"
#include "testkit/temp_dir.h"
#include "testkit/view_text.h"
#include "ui/zel_log_console_dlg.h"

namespace {

// What a save must leave as it was.
struct ConsoleState {
    CString view;
    bool listening;
    CString serviceCaption;
    std::string locale;

    bool operator==(const ConsoleState& o) const
    {
        return view == o.view && listening == o.listening && serviceCaption == o.serviceCaption && locale == o.locale;
    }
};

std::ostream& operator<<(std::ostream& out, const ConsoleState& s)
{
    return out << "view of " << s.view.size() << " chars, listening " << s.listening << ", locale " << s.locale;
}

// A real console window, created modelessly; its save button is clicked with the operator scripted.
class SaveFlow : public SavingConsoleFixture<> {
protected:
    void TearDown() override
    {
        if (m_dlg.m_bListening)
            m_dlg.ToggleLogService();
    }

    // The operator clicks Save and chooses `path` in the dialog.
    void SaveAs(const CString& path)
    {
        m_operator.m_answer = path;
        ClickSave();
    }
    void ClickSave() { Click(IDC_SAVE_LOG); }
    ConsoleState State() const
    {
        return {ViewText(), m_dlg.m_bListening, m_dlg.m_btnService.GetWindowText(), std::setlocale(LC_CTYPE, nullptr)};
    }
};

TEST_F(SaveFlow, CancelWritesNothingAndShowsNothing)
{
    m_dlg.AppendLog(L"line\r\n");
    const ConsoleState before = State();
    ClickSave();
    EXPECT_EQ(m_operator.m_asked, 1) << "the click must open the save dialog";
    EXPECT_TRUE(m_operator.m_boxes.empty());
    EXPECT_EQ(m_dir.Entries(), 0) << "no file created";
    EXPECT_EQ(State(), before);
}

// The started service's own line, saved while it listens: 29 bytes of text and one CR LF.
TEST_F(SaveFlow, StartedLineSavesAs31BytesAndTheServiceKeepsListening)
{
    m_dlg.ToggleLogService();
    ASSERT_TRUE(m_dlg.m_bListening) << "port " << ConsolePort() << " is taken here";
    ASSERT_EQ(ViewText(), kStarted);
    const ConsoleState before = State();
    SaveAs(m_dir.File(L"started.txt"));

    const std::string bytes = FileText(*m_operator.m_answer);
    EXPECT_EQ(bytes.size(), 31u);
    EXPECT_EQ(bytes, std::string(kStartedLine936) + "\r\n");
    ASSERT_EQ(m_operator.m_boxes.size(), 1u);
    EXPECT_EQ(m_operator.m_boxes[0].text, kSaved);
    EXPECT_EQ(m_operator.m_boxes[0].type, UINT(MB_OK)) << "only OK, no icon";
    EXPECT_EQ(m_operator.m_boxes[0].owner, m_dlg.m_hWnd);
    EXPECT_EQ(State(), before);
    EXPECT_EQ(m_dlg.m_btnService.GetWindowText(), L"关闭");
}

TEST_F(SaveFlow, EmptyLogSavesAnEmptyFileAndSaysSo)
{
    SaveAs(m_dir.File(L"empty.txt"));
    EXPECT_EQ(FileText(*m_operator.m_answer), "");
    ASSERT_EQ(m_operator.m_boxes.size(), 1u);
    EXPECT_EQ(m_operator.m_boxes[0].text, kSaved);
}

TEST_F(SaveFlow, ExistingFileIsReplacedWithoutAQuestion)
{
    const CString path = m_dir.File(L"old.txt");
    WriteFileBytes(path, std::string(5000, 'o'));
    m_dlg.AppendLog(L"new\n");
    SaveAs(path);
    EXPECT_EQ(FileText(path), "new\r\n");
    ASSERT_EQ(m_operator.m_boxes.size(), 1u);
    EXPECT_EQ(m_operator.m_boxes[0].text, kSaved);
}

// The locale of the C runtime is the program's, not the save's: it is the same afterwards,
// whichever it was before.
TEST_F(SaveFlow, LocaleOfTheRuntimeIsUnchanged)
{
    const std::string original = std::setlocale(LC_CTYPE, nullptr);
    for (const char* locale : {"C", ""}) {
        std::setlocale(LC_CTYPE, locale);
        const std::string before = std::setlocale(LC_CTYPE, nullptr);
        m_dlg.AppendLog(L"中文 text\r\n");
        SaveAs(m_dir.File(L"locale.txt"));
        EXPECT_EQ(std::setlocale(LC_CTYPE, nullptr), before);
        EXPECT_EQ(FileText(*m_operator.m_answer), "\xd6\xd0\xce\xc4 text\r\n") << "with locale " << before;
        m_dlg.Send(WM_COMMAND, MAKEWPARAM(IDC_CLEAR_LOG, BN_CLICKED), 0);
    }
    std::setlocale(LC_CTYPE, original.c_str());
}

struct FailingPath {
    const char* name;
    std::function<CString(const TempDir&)> path;
    const wchar_t* expectedStart; // which failure the operator is told of
};

class SaveFlowFailure : public SaveFlow, public ::testing::WithParamInterface<FailingPath> {};

// An error names the file, is marked as one and is never followed by the success box.
TEST_P(SaveFlowFailure, ShowsAnErrorNamingThePathAndNoSuccess)
{
    const CString path = GetParam().path(m_dir);
    if (path.empty())
        GTEST_SKIP() << "not available here";
    m_dlg.AppendLog(L"日志\r\n");
    const ConsoleState before = State();
    SaveAs(path);
    ASSERT_EQ(m_operator.m_boxes.size(), 1u);
    const ScriptedOperator::Box& box = m_operator.m_boxes[0];
    EXPECT_NE(box.text.find(path), CString::npos) << "the error names the file";
    EXPECT_EQ(box.text.find(L"成功"), CString::npos);
    EXPECT_EQ(box.text.rfind(GetParam().expectedStart, 0), 0u) << box.text;
    EXPECT_EQ(box.type, UINT(MB_OK | MB_ICONERROR));
    EXPECT_EQ(box.owner, m_dlg.m_hWnd);
    EXPECT_EQ(State(), before);
}

INSTANTIATE_TEST_SUITE_P(
    SaveFlow, SaveFlowFailure,
    ::testing::Values(FailingPath{"MissingFolder", [](const TempDir& d) { return d.File(L"missing\\log.txt"); },
                                  L"无法创建日志文件"},
                      FailingPath{"FolderItself", [](const TempDir& d) { return d.Path(); }, L"无法创建日志文件"},
                      FailingPath{"FullDisk", [](const TempDir&) { return FullDevice(); }, L"写入日志文件失败"}),
    [](const ::testing::TestParamInfo<FailingPath>& info) { return std::string(info.param.name); });

TEST_F(SaveFlow, UnopenablePathWritesNothing)
{
    m_dlg.AppendLog(L"x");
    SaveAs(m_dir.File(L"missing\\log.txt"));
    EXPECT_EQ(m_dir.Entries(), 0) << "neither the file nor its folder is created";
    EXPECT_EQ(m_operator.m_boxes.size(), 1u);
}

TEST_F(SaveFlow, ReplacedCharactersAreCountedInTheSuccessBox)
{
    m_dlg.AppendLog(L"a한b\U0001F600\r\n");
    SaveAs(m_dir.File(L"replaced.txt"));
    EXPECT_EQ(FileText(*m_operator.m_answer), "a?b?\r\n");
    ASSERT_EQ(m_operator.m_boxes.size(), 1u);
    const CString& text = m_operator.m_boxes[0].text;
    EXPECT_NE(text, kSaved) << "a copy with replaced characters is not a faithful one";
    EXPECT_NE(text.find(L" 2 个字符"), CString::npos) << "the count of replaced characters";
}

// Text that has arrived but is not in the view yet, before or while the dialog is open, is
// part of the log the operator saves.
TEST_F(SaveFlow, TextNotYetShownIsSavedAndShownOnce)
{
    m_dlg.AppendLog(L"shown\r\n");
    Pipe().Offer(L"before the click\r\n");
    m_operator.m_whileOpen = [] { Pipe().Offer(L"while the dialog is open\r\n"); };
    SaveAs(m_dir.File(L"pending.txt"));
    const CString all = L"shown\r\nbefore the click\r\nwhile the dialog is open\r\n";
    EXPECT_EQ(FileText(*m_operator.m_answer), std::string(all.begin(), all.end()));
    EXPECT_TRUE(PumpUntil([&] { return ViewText() == all; })) << "the waiting text must still reach the view";
    PumpPending();
    EXPECT_EQ(ViewText(), all) << "flushed text must not show again";
}

// The view near its capacity with text still waiting: making room for the waiting text must not
// cost the saved file the oldest lines. The file holds the view and then the waiting text.
TEST_F(SaveFlow, SaveNearCapacityWithTextWaitingLosesNothing)
{
    constexpr size_t kCapacity = 20000;
    m_dlg.SetViewCapacity(kCapacity);
    CString all;
    for (int i = 0; all.size() + 100 <= kCapacity - 50; ++i) {
        const CString line = NumberedLine(L"shown ", i, L'-');
        all += line;
        m_dlg.AppendLog(line);
    }
    for (int i = 0; i < 30; ++i) {
        const CString line = NumberedLine(L"waiting ", i, L'+');
        all += line;
        Pipe().Offer(line);
    }
    SaveAs(m_dir.File(L"near-capacity.txt"));
    EXPECT_EQ(FileText(*m_operator.m_answer), std::string(all.begin(), all.end()))
        << "the file must hold every character";
    ASSERT_EQ(m_operator.m_boxes.size(), 1u);
    EXPECT_EQ(m_operator.m_boxes[0].text, kSaved);
}

} // namespace
