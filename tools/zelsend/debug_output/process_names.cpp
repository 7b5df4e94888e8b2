#include "debug_output/process_names.h"
#include "port/handle_win.h"

namespace zelsend {

namespace {

std::string FileNameUtf8(const wchar_t* path)
{
    const wchar_t* name = path;
    const wchar_t* end = path;
    for (; *end; ++end)
        if (*end == L'\\' || *end == L'/')
            name = end + 1;
    return Narrow(name, static_cast<size_t>(end - name));
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
