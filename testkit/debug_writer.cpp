// debug_writer.exe COUNT [PER_SECOND]: writes COUNT strings with OutputDebugStringA and
// OutputDebugStringW, as fast as it can or at the rate given, then prints its process id, the
// seconds it took and its rate. For the end-to-end tests and the debug-output bench.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "testkit/debug_writer.h"

namespace {

std::string ToAnsi(const std::wstring& text)
{
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out; // with its terminating zero
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const int count = std::atoi(argv[1]);
    const double perSecond = argc > 2 ? std::atof(argv[2]) : 0;
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) {
        // At a given rate, string i waits for its moment; late strings go at once.
        while (perSecond > 0) {
            ::QueryPerformanceCounter(&now);
            const double due = i / perSecond, at = double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
            if (at >= due)
                break;
            if (due - at > 0.002)
                ::Sleep(1);
        }
        const std::wstring text = DebugWriterText(i) + DebugWriterEnd(i);
        if (i % 2 == 0)
            ::OutputDebugStringA(ToAnsi(text).c_str());
        else
            ::OutputDebugStringW(text.c_str());
    }
    ::QueryPerformanceCounter(&now);
    const double seconds = double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("pid %lu seconds %.3f rate %.0f\n", ::GetCurrentProcessId(), seconds,
                seconds > 0 ? count / seconds : 0.0);
    return 0;
}
