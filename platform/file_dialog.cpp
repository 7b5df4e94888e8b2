#include "platform/file_dialog.h"

#include <shobjidl.h>

#include "platform/scoped.h"
#include "platform/win_app.h"

CFileDialog::CFileDialog(const wchar_t* defExt, const wchar_t* fileName, DWORD flags, const wchar_t* filter,
                         CWnd* parent, bool vistaStyle)
    : m_flags(flags), m_filter(ParseFilter(filter)), m_hParent(parent ? parent->m_hWnd : nullptr),
      m_vistaStyle(vistaStyle)
{
    // Both dialogs want the extension without its dot.
    if (defExt)
        m_defExt = defExt[0] == L'.' ? defExt + 1 : defExt;
    if (fileName)
        m_fileName = fileName;
}

std::vector<std::pair<CString, CString>> CFileDialog::ParseFilter(const wchar_t* filter)
{
    std::vector<std::pair<CString, CString>> entries;
    if (!filter)
        return entries;
    std::vector<CString> parts;
    CString part;
    for (const wchar_t* c = filter; *c; ++c) {
        if (*c != L'|') {
            part += *c;
            continue;
        }
        // An empty part ends the list: it is the "||" at the end.
        if (part.empty())
            break;
        parts.push_back(part);
        part.clear();
    }
    if (!part.empty())
        parts.push_back(part);
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        entries.emplace_back(parts[i], parts[i + 1]);
    return entries;
}

HWND CFileDialog::Owner() const
{
    if (m_hParent)
        return m_hParent;
    CWinApp* app = AfxGetApp();
    return app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
}

INT_PTR CFileDialog::DoModal()
{
    m_pathName.clear();
    const HWND owner = Owner();
    if (m_vistaStyle) {
        ComScope com;
        if (com.Ok()) {
            const HRESULT hr = ShowItemDialog(owner);
            if (hr == S_OK)
                return IDOK;
            if (hr == S_FALSE)
                return IDCANCEL;
        }
    }
    return ShowCommonDialog(owner);
}

HRESULT CFileDialog::ShowItemDialog(HWND owner)
{
    ComPtr<IFileSaveDialog> dialog;
    HRESULT hr = ::CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSaveDialog,
                                    reinterpret_cast<void**>(&dialog));
    if (FAILED(hr))
        return hr;

    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(hr = dialog->GetOptions(&options)))
        return hr;
    // The save dialog asks before replacing a file by default; only the flag may ask for that.
    options &= ~FOS_OVERWRITEPROMPT;
    if (m_flags & OFN_OVERWRITEPROMPT)
        options |= FOS_OVERWRITEPROMPT;
    if (FAILED(hr = dialog->SetOptions(options | FOS_FORCEFILESYSTEM)))
        return hr;

    if (!m_filter.empty()) {
        std::vector<COMDLG_FILTERSPEC> fileTypes;
        for (const auto& entry : m_filter)
            fileTypes.push_back(COMDLG_FILTERSPEC{entry.first.c_str(), entry.second.c_str()});
        if (FAILED(hr = dialog->SetFileTypes(static_cast<UINT>(fileTypes.size()), fileTypes.data())) ||
            FAILED(hr = dialog->SetFileTypeIndex(1)))
            return hr;
    }
    if (!m_defExt.empty() && FAILED(hr = dialog->SetDefaultExtension(m_defExt.c_str())))
        return hr;
    if (!m_fileName.empty() && FAILED(hr = dialog->SetFileName(m_fileName.c_str())))
        return hr;

    hr = dialog->Show(owner);
    if (hr == HRESULT_FROM_WIN32(ERROR_CANCELLED))
        return S_FALSE;
    if (FAILED(hr))
        return hr;

    ComPtr<IShellItem> item;
    if (FAILED(hr = dialog->GetResult(&item)))
        return hr;
    TaskMemString path;
    if (FAILED(hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path)))
        return hr;
    m_pathName = path.get();
    return S_OK;
}

INT_PTR CFileDialog::ShowCommonDialog(HWND owner)
{
    // The common dialog takes the filter as zero-separated strings ending in two zeros.
    CString filter;
    for (const auto& entry : m_filter) {
        filter += entry.first;
        filter += L'\0';
        filter += entry.second;
        filter += L'\0';
    }
    filter += L'\0';

    std::vector<wchar_t> name(32768, L'\0');
    m_fileName.copy(name.data(), name.size() - 1);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = m_filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrDefExt = m_defExt.empty() ? nullptr : m_defExt.c_str();
    ofn.Flags = m_flags | OFN_EXPLORER;
    if (!::GetSaveFileNameW(&ofn))
        return IDCANCEL;
    m_pathName = name.data();
    return IDOK;
}
