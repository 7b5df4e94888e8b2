#pragma once
// Another program run to its end, as from a command prompt: text piped to its standard input,
// its standard output (and, if asked, its standard error) collected.
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>

#include "platform/scoped.h"

struct ChildRun {
    bool started = false;
    DWORD exitCode = 0xFFFFFFFF; // unknown when it did not end within the limit
    std::string output;
};

// Another program running in the background until it is dropped (or Stop), which ends it.
class BackgroundProcess {
public:
    explicit BackgroundProcess(std::wstring commandLine)
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info))
            m_process = ProcessHandles(info);
    }
    ~BackgroundProcess() { Stop(); }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    bool Started() const { return m_process.Process() != nullptr; }
    // True while it runs, after `ms` more.
    bool RunsAfter(DWORD ms) const { return ::WaitForSingleObject(m_process.Process(), ms) == WAIT_TIMEOUT; }
    // Ends it and waits (up to the limit) until it has gone.
    void Stop(DWORD limitMs = 10000)
    {
        if (!Started())
            return;
        ::TerminateProcess(m_process.Process(), 0);
        ::WaitForSingleObject(m_process.Process(), limitMs);
    }

private:
    ProcessHandles m_process;
};

// A pipe whose child's end is inherited and whose parent's end is not.
inline bool InheritedPipe(UniqueHandle& childEnd, UniqueHandle& parentEnd, bool childReads)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!::CreatePipe(&read, &write, &inherit, 0))
        return false;
    childEnd.Reset(childReads ? read : write);
    parentEnd.Reset(childReads ? write : read);
    return ::SetHandleInformation(parentEnd.Get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

// Runs `commandLine` with `input` as its standard input, as `type input | program` would; its
// standard error goes with its output when `errorsToo`, else to ours.
inline ChildRun RunChild(std::wstring commandLine, const std::string& input, bool errorsToo, DWORD limitMs = INFINITE)
{
    ChildRun run;
    UniqueHandle inChild, inParent, outChild, outParent;
    if (!InheritedPipe(inChild, inParent, true) || !InheritedPipe(outChild, outParent, false))
        return run;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inChild.Get();
    startup.hStdOutput = outChild.Get();
    startup.hStdError = errorsToo ? outChild.Get() : ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    run.started =
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    // Our copies of the child's ends go, so that its output ends when it does.
    inChild.Reset();
    outChild.Reset();
    if (!run.started)
        return run;
    const ProcessHandles child(info);
    // The child may stop reading early (a refused line): the writer then just gives up.
    std::thread writer([&] {
        for (size_t at = 0; at < input.size();) {
            DWORD wrote = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(input.size() - at, 1 << 20));
            if (!::WriteFile(inParent.Get(), input.data() + at, chunk, &wrote, nullptr))
                break;
            at += wrote;
        }
        inParent.Reset();
    });
    // Reading on its own thread lets the limit bound the wait: a child that outlives it is ended,
    // which closes its ends of both pipes and so lets the reader and the writer finish.
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(outParent.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            run.output.append(buffer, got);
    });
    if (::WaitForSingleObject(child.Process(), limitMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(child.Process(), &run.exitCode);
    else
        ::TerminateProcess(child.Process(), 1);
    reader.join();
    writer.join();
    return run;
}
