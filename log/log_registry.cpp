#include "log/log_registry.h"

CLogRegistry* CLogRegistry::GetInstance()
{
    static CLogRegistry* instance = new CLogRegistry();
    return instance;
}

void CLogRegistry::QueueText(CString text)
{
    if (!m_pending.Add(std::move(text)))
        return;
    if (m_pLogEdit && m_pLogEdit->m_hWnd)
        ::PostMessageW(m_pLogEdit->GetParent(), WM_ZEL_FLUSHLOG, 0, 0);
}
