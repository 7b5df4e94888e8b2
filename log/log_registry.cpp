#include "log/log_registry.h"

CLogRegistry* CLogRegistry::GetInstance()
{
    static CLogRegistry* instance = new CLogRegistry();
    return instance;
}
