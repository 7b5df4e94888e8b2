#include "debug_output/process_names.h"

namespace zelsend {

namespace {

std::string FileNameUtf8(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 1 ? n - 1 : 0), '\0');
    if (n > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, name, -1, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

const std::string& ProcessNames::NameOf(uint32_t pid)
{
    auto found = known_.find(pid);
    if (found != known_.end())
        return found->second.name;
    Known known;
    known.process.Reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
    wchar_t path[MAX_PATH * 2];
    DWORD size = sizeof path / sizeof path[0];
    if (known.process && ::QueryFullProcessImageNameW(known.process.Get(), 0, path, &size))
        known.name = FileNameUtf8(path);
    return known_.emplace(pid, std::move(known)).first->second.name;
}

void ProcessNames::Sweep()
{
    for (auto it = known_.begin(); it != known_.end();) {
        const bool ended = !it->second.process || ::WaitForSingleObject(it->second.process.Get(), 0) == WAIT_OBJECT_0;
        it = ended ? known_.erase(it) : std::next(it);
    }
}

} // namespace zelsend
