#include "ui/save_log_prompts.h"

#include "platform/file_dialog.h"

// Text files first; no question before replacing a file, since saving over an old log is the
// usual case.
bool CSaveLogPrompts::AskPath(CString& path)
{
    CFileDialog dialog(L".txt", nullptr, OFN_HIDEREADONLY, L"日志文件(*.txt)|*.txt|All Files (*.*)|*.*||");
    if (dialog.DoModal() != IDOK)
        return false;
    path = dialog.GetPathName();
    return true;
}

void CSaveLogPrompts::Tell(CWnd& owner, const CString& text, UINT type)
{
    owner.MessageBox(text.c_str(), nullptr, type);
}
