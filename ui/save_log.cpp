// The console window's "保存日志" button: the whole log view, written to a file of the
// operator's choice in code page 936.
#include <string>

#include "log/log_file.h"
#include "log/log_registry.h"
#include "platform/system_error.h"
#include "ui/zel_log_console_dlg.h"

namespace {

const wchar_t kSaved[] = L"保存日志文件成功！";

CString SavedText(size_t replaced)
{
    if (replaced == 0)
        return kSaved;
    return CString(kSaved) + L"\r\n\r\n其中 " + std::to_wstring(replaced) +
           L" 个字符无法用简体中文编码(代码页 936)保存，已在文件中写为“?”。";
}

CString OpenFailedText(const CString& path, DWORD error)
{
    return L"无法创建日志文件，日志未保存：\r\n" + path + L"\r\n\r\n" + SystemErrorText(error);
}

CString WriteFailedText(const CString& path, DWORD error)
{
    return L"写入日志文件失败，文件中的日志不完整：\r\n" + path + L"\r\n\r\n" + SystemErrorText(error);
}

} // namespace

// Saves the view as it stands once the operator has chosen the file; text that arrived while
// the dialog was open is part of it. From the click until the file is written, or the dialog
// is cancelled, the view drops none of its oldest text, or the file would lack it.
void CZelLogConsoleDlg::OnBnClickedSaveLog()
{
    m_view.KeepAll(true);
    CString path;
    LogFileBytes file;
    LogFileWrite written{};
    try {
        if (!m_pSavePrompts->AskPath(path)) {
            EndKeepingView();
            return;
        }
        // What the operator has: the view, then the text still on its way into it, as it was
        // sent: without the line breaks the view put where a row ran past its width.
        file = EncodeLogFile(m_view.SentText() + CLogRegistry::GetInstance()->m_pipe.WaitingText());
        written = WriteLogFile(path, file.bytes);
    } catch (...) {
        EndKeepingView(); // a save that failed must not stop the view for good
        throw;
    }
    EndKeepingView();
    switch (written.outcome) {
    case LogFileOutcome::OpenFailed:
        m_pSavePrompts->Tell(*this, OpenFailedText(path, written.error), MB_OK | MB_ICONERROR);
        return;
    case LogFileOutcome::WriteFailed:
        m_pSavePrompts->Tell(*this, WriteFailedText(path, written.error), MB_OK | MB_ICONERROR);
        return;
    case LogFileOutcome::Written:
        break;
    }
    m_pSavePrompts->Tell(*this, SavedText(file.replaced), MB_OK);
}
