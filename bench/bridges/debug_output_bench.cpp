// How much zelsend --debug-output slows the programs that write debug output, under Wine: the
// writer's rate (debug_writer.exe, OutputDebugStringA and W in turn) with zelsend reading,
// against its rate with a plain reader that only copies each string out and hands the buffer
// back, measured in the same run, alternately, RUNS times each; each reader is a process of its
// own, as a debug-output viewer is. Then zelsend at a fixed rate of
// strings per second: every string must reach the receiver, and none be reported dropped.
// zelsend sends into a local receiver that splits frames as the console does.
//   debug_output_bench.exe [STRINGS=20000] [RUNS=3] [RATE=10000] [SECONDS=3]
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/scoped.h"
#include "testkit/background.h"
#include "testkit/child_process.h"
#include "testkit/console_process.h"
#include "testkit/receiver_parts.h"
#include "testkit/wait.h"

namespace {

bool BufferExists()
{
    return static_cast<bool>(UniqueHandle(::OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY")));
}

// The least a reader can do: copy the string out and hand the buffer back.
class PlainReader {
public:
    bool Start()
    {
        m_mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"));
        m_bufferReady.Reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
        m_dataReady.Reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
        m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, 4096));
        if (!m_view || !m_dataReady || !m_bufferReady)
            return false;
        ::SetEvent(m_bufferReady.Get());
        m_loop = std::make_unique<BackgroundLoop>([this] {
            if (::WaitForSingleObject(m_dataReady.Get(), 100) == WAIT_OBJECT_0) {
                std::memcpy(m_copy, m_view.Get(), sizeof m_copy);
                ::SetEvent(m_bufferReady.Get());
            }
            return true;
        });
        return true;
    }

private:
    UniqueHandle m_mapping, m_bufferReady, m_dataReady;
    MappedView m_view;
    char m_copy[4096];
    std::unique_ptr<BackgroundLoop> m_loop; // last: stops before what it reads goes
};

// A reader in a process of its own, as a debug-output viewer is, until it goes out of scope:
// zelsend --debug-output, or this bench as the plain reader.
class ReaderProcess : public BackgroundProcess {
public:
    using BackgroundProcess::BackgroundProcess;
    ~ReaderProcess()
    {
        Stop();
        WaitUntil([] { return !BufferExists(); }, 10000); // the next reader can create it
    }
    bool Ready() const { return Started() && WaitUntil(BufferExists, 30000); }
};

// Runs the writer; its rate in strings per second, or 0 when it failed.
double Write(int strings, double perSecond = 0)
{
    std::wstring command = L"\"" + CConsoleProcess::WindowsPath(DEBUG_WRITER_EXE) + L"\" " + std::to_wstring(strings);
    if (perSecond > 0)
        command += L" " + std::to_wstring(static_cast<long>(perSecond));
    const ChildRun run = RunChild(command, "", false, 300000);
    double seconds = 0, rate = 0;
    unsigned long pid = 0;
    if (run.exitCode != 0 ||
        std::sscanf(run.output.c_str(), "pid %lu seconds %lf rate %lf", &pid, &seconds, &rate) != 3)
        return 0;
    return rate;
}

// Takes zelsend's one connection and counts its frames. Blocking reads, and no polling: under
// Wine every socket call is a round trip to the server the writers wait in, so a receiver that
// polls would slow every reader alike and hide the difference this bench measures.
class FrameCounter {
public:
    FrameCounter()
    {
        m_listener.Reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        const uint16_t port = testkit::BindToLoopback(m_listener.Get());
        if (port != 0 && ::listen(m_listener.Get(), 1) == 0)
            m_port = port;
        m_thread = std::thread([this] { Serve(); });
    }
    ~FrameCounter()
    {
        m_listener.Reset(); // ends a wait in accept
        m_client.Reset();   // and in recv
        m_thread.join();
    }
    uint16_t Port() const { return m_port; }
    long Frames() const { return m_frames; }
    long Notices() const { return m_notices; }
    bool WaitForFrames(long count, DWORD limitMs) const
    {
        return WaitUntil([&] { return m_frames >= count; }, limitMs);
    }

private:
    void Serve()
    {
        const SOCKET client = ::accept(m_listener.Get(), nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        m_client.Reset(client);
        std::string bytes;
        std::vector<char> buffer(1 << 20);
        int n = 0;
        while ((n = ::recv(client, buffer.data(), static_cast<int>(buffer.size()), 0)) > 0) {
            bytes.append(buffer.data(), static_cast<size_t>(n));
            testkit::TakeWholeFrames(bytes, [this](std::string_view payload) {
                if (payload.compare(0, 10, "[zelsend: ") == 0 || payload.compare(0, 17, "[zel::LogClient: ") == 0)
                    ++m_notices;
                ++m_frames;
            });
        }
    }

    UniqueSocket m_listener, m_client;
    uint16_t m_port = 0;
    std::atomic<long> m_frames{0}, m_notices{0};
    std::thread m_thread;
};

std::wstring ZelsendCommand(uint16_t port)
{
    return L"\"" + CConsoleProcess::WindowsPath(ZELSEND_EXE) + L"\" --debug-output --port " + std::to_wstring(port);
}

std::wstring PlainReaderCommand()
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return L"\"" + std::wstring(self) + L"\" --plain-reader";
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--plain-reader") {
        PlainReader reader;
        if (!reader.Start())
            return 1;
        ::Sleep(INFINITE); // until the bench ends it
    }
    const int strings = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const double rate = argc > 3 ? std::atof(argv[3]) : 10000;
    const double seconds = argc > 4 ? std::atof(argv[4]) : 3;
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    if (BufferExists()) {
        std::fprintf(stderr, "debug_output_bench: another debug-output reader runs\n");
        return 1;
    }
    bool ok = true;
    std::vector<double> plain, zelsend;
    {
        // Not counted: the first writer of a run pays for starting up what Wine shares later.
        ReaderProcess reader(PlainReaderCommand());
        ok = reader.Ready() && Write(strings / 4 + 1) > 0;
    }
    for (int run = 0; run < runs && ok; ++run) {
        {
            ReaderProcess reader(PlainReaderCommand());
            ok = reader.Ready();
            plain.push_back(ok ? Write(strings) : 0);
            std::printf("run %d: plain reader    %8.0f strings/s\n", run + 1, plain.back());
        }
        FrameCounter counter;
        ReaderProcess reader(ZelsendCommand(counter.Port()));
        ok = ok && reader.Ready();
        zelsend.push_back(ok ? Write(strings) : 0);
        counter.WaitForFrames(strings, 60000);
        std::printf("run %d: zelsend reading %8.0f strings/s (%ld received, %ld drop notices)\n", run + 1,
                    zelsend.back(), counter.Frames(), counter.Notices());
        ok = ok && plain.back() > 0 && zelsend.back() > 0;
    }
    const double ratio = Median(plain) > 0 ? Median(zelsend) / Median(plain) : 0;
    std::printf("writer's rate, median of %d: plain reader %.0f/s (the ceiling), zelsend %.0f/s: %.2f x the "
                "ceiling (target >= 0.5)\n",
                runs, Median(plain), Median(zelsend), ratio);

    // A steady load: every string must arrive.
    const int paced = static_cast<int>(rate * seconds);
    FrameCounter counter;
    bool all = false;
    {
        ReaderProcess reader(ZelsendCommand(counter.Port()));
        const double achieved = reader.Ready() ? Write(paced, rate) : 0;
        all = counter.WaitForFrames(paced, 60000) && counter.Notices() == 0 && counter.Frames() == paced;
        std::printf("at %.0f strings/s for %.0f s: writer kept %.0f/s, %ld of %d received, %ld drop notices: %s\n",
                    rate, seconds, achieved, counter.Frames() - counter.Notices(), paced, counter.Notices(),
                    all ? "nothing lost" : "LOST");
    }
    ::WSACleanup();
    return ok && ratio >= 0.5 && all ? 0 : 1;
}
