#include "debug_output/debug_output_source.h"

#include "common/exit_codes.h"
#include "debug_output/captured_queue.h"
#include "debug_output/debug_text.h"
#include "port/error_text.h"
#include "platform/scoped.h"
#include "debug_output/process_names.h"

#include <cstring>
#include <thread>
#include <vector>

namespace zelsend {

namespace {

// The buffer's size is fixed by the protocol: the writer's process id, then its text and a zero.
constexpr DWORD kBufferBytes = 4096;
constexpr size_t kTextBytes = kBufferBytes - sizeof(DWORD);
// Captured messages waiting for conversion; past this, new ones are dropped and counted.
constexpr size_t kQueueBytes = 16 * 1024 * 1024;
constexpr DWORD kLookAtStopMs = 100;
// The converter takes what was captured this often.
constexpr auto kConvertEvery = std::chrono::milliseconds(10);
using Clock = std::chrono::system_clock;

// The reader's side of the debug-output protocol: the mutex writers take, the two events and
// the shared buffer. Only one reader can hold them: whoever created them first.
class DebugBuffer {
public:
    bool Create(std::string& error)
    {
        // Writers take the mutex around each message; it may exist already, made by a writer.
        mutex_.Reset(::CreateMutexW(nullptr, FALSE, L"DBWinMutex"));
        if (!mutex_)
            return Failed("cannot create DBWinMutex", error);
        mapping_.Reset(
            ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes, L"DBWIN_BUFFER"));
        if (!mapping_ || ::GetLastError() == ERROR_ALREADY_EXISTS)
            return Taken(mapping_, "DBWIN_BUFFER", error);
        bufferReady_.Reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
        if (!bufferReady_ || ::GetLastError() == ERROR_ALREADY_EXISTS)
            return Taken(bufferReady_, "DBWIN_BUFFER_READY", error);
        dataReady_.Reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
        if (!dataReady_ || ::GetLastError() == ERROR_ALREADY_EXISTS)
            return Taken(dataReady_, "DBWIN_DATA_READY", error);
        view_.Reset(::MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, kBufferBytes));
        if (!view_)
            return Failed("cannot map DBWIN_BUFFER", error);
        return true;
    }

    // Empties the buffer each time a writer has filled it, until `stop`. The text is copied
    // out and the buffer handed back at once; everything else happens on other threads.
    void Capture(CapturedQueue& queue, const std::atomic<bool>& stop, bool stamped)
    {
        const auto* buffer = static_cast<const char*>(view_.Get());
        ::SetEvent(bufferReady_.Get());
        while (!stop) {
            if (::WaitForSingleObject(dataReady_.Get(), kLookAtStopMs) != WAIT_OBJECT_0)
                continue;
            DWORD pid = 0;
            std::memcpy(&pid, buffer, sizeof pid);
            const char* text = buffer + sizeof pid;
            std::string copy(text, ::strnlen(text, kTextBytes));
            ::SetEvent(bufferReady_.Get());
            queue.Push(pid, std::move(copy), stamped ? std::chrono::system_clock::now() : Clock::time_point());
        }
        // A writer waiting for the buffer gets it back rather than waiting out its limit.
        ::SetEvent(bufferReady_.Get());
    }

private:
    static bool Failed(const char* what, std::string& error)
    {
        error = std::string(what) + ": " + SystemErrorText(::GetLastError());
        return false;
    }
    static bool Taken(const UniqueHandle& handle, const char* name, std::string& error)
    {
        if (!handle)
            return Failed((std::string("cannot create ") + name).c_str(), error);
        error = std::string("another program reads debug output already (") + name +
                " exists): only one reader at a time can capture it; close the other debug-output "
                "viewer or zelsend --debug-output, then start this one again";
        return false;
    }

    UniqueHandle mutex_, mapping_, bufferReady_, dataReady_;
    MappedView view_;
};

// Converts captured messages and hands them to the sender, on a thread of its own, so that
// neither the conversion nor the lookup of exe names holds up the capture.
void Convert(CapturedQueue& queue, zel::LogClient& client, const Options& options, const LineRules& rules)
{
    TextDecoder ansi;
    std::string ignored;
    ansi.Open(::GetACP(), ignored); // the system's own code page is always known
    ProcessNames names;
    const bool named = options.pid || rules.ChoosesProcesses();
    std::vector<CapturedText> texts;
    uint64_t dropped = 0;
    auto lastSweep = std::chrono::steady_clock::now();
    while (queue.Take(texts, dropped, kConvertEvery)) {
        for (const CapturedText& captured : texts) {
            const std::string& name = named ? names.NameOf(captured.pid) : std::string();
            if (!rules.KeepsProcess(captured.pid, name))
                continue;
            const std::string prefix = options.pid ? ProcessPrefix(captured.pid, name) : "";
            const std::string text = DebugOutputText(captured.text, ansi, prefix, rules, rules.Stamp(captured.at));
            if (!text.empty())
                client.Send(text);
        }
        if (dropped > 0)
            client.Send("[zelsend: " + std::to_string(dropped) +
                        " debug-output messages dropped: they came faster than they could be sent]\r\n");
        if (named && texts.empty() && std::chrono::steady_clock::now() - lastSweep > std::chrono::seconds(1)) {
            names.Sweep();
            lastSweep = std::chrono::steady_clock::now();
        }
    }
}

} // namespace

int RunDebugOutput(const Options& options, const LineRules& rules, zel::LogClient& client,
                   const std::atomic<bool>& stop)
{
    std::string error;
    DebugBuffer buffer;
    if (!buffer.Create(error))
        return Fail(error);
    std::string whose;
    for (const std::string& process : options.processes)
        whose += (whose.empty() ? "" : ", ") + process;
    std::fprintf(stderr, "zelsend: debug output of %s%s\n", whose.empty() ? "every program" : whose.c_str(),
                 FiltersNote(options).c_str());
    std::fflush(stderr);
    CapturedQueue queue(kQueueBytes);
    std::thread converter([&] { Convert(queue, client, options, rules); });
    buffer.Capture(queue, stop, options.time);
    queue.Close();
    converter.join();
    return kExitSent;
}

} // namespace zelsend
