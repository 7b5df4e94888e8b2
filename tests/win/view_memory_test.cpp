// A clear gives back the memory that the view's text took: the control keeps its text buffer at
// its largest otherwise, every page of it in memory for as long as the window lives.
#include <gtest/gtest.h>

#include "console_fixture.h"

namespace {

class ViewMemory : public ConsoleFixture, public ::testing::WithParamInterface<size_t> {
protected:
    // Where the control's text lies now.
    const void* TextAddress() const
    {
        HLOCAL buffer = m_dlg.m_editLog.GetHandle();
        const void* text = ::LocalLock(buffer);
        ::LocalUnlock(buffer);
        return text;
    }
    static DWORD StateAt(const void* address)
    {
        MEMORY_BASIC_INFORMATION info = {};
        ::VirtualQuery(address, &info, sizeof info);
        return info.State;
    }
    static CString Lines(size_t chars)
    {
        CString text;
        for (int i = 0; text.size() < chars; ++i)
            text += L"第 " + std::to_wstring(i) + L" 行 line\r\n";
        return text;
    }
};

// Views of a short run without a line break, of a thousand lines and of two million characters.
TEST_P(ViewMemory, ClearGivesBackThePagesTheTextFilled)
{
    const size_t chars = GetParam();
    m_dlg.AppendLog(chars % 2 ? CString(chars, L'x') : Lines(chars));
    ASSERT_GE(ViewLength(), chars);
    const void* before = TextAddress();
    ASSERT_NE(before, nullptr);
    ASSERT_EQ(StateAt(before), static_cast<DWORD>(MEM_COMMIT));

    Click(IDC_CLEAR_LOG);
    EXPECT_EQ(ViewText(), L"");
    EXPECT_EQ(StateAt(before), static_cast<DWORD>(MEM_FREE)) << "the filled buffer is still held";
    // The fresh buffer is as roomy as the first, so that appends again never move the text.
    EXPECT_GE(::LocalSize(m_dlg.m_editLog.GetHandle()), kViewCapacityChars * sizeof(wchar_t));

    const CString after = Lines(5000);
    m_dlg.AppendLog(after);
    EXPECT_EQ(ViewText(), after);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ViewMemory, ::testing::Values(size_t{21}, size_t{30000}, size_t{2000000}));

} // namespace
