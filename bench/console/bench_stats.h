#pragma once
// Figures of a benchmark run: samples with their median and tail, and a clock.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <vector>

namespace zelbench {

constexpr double kMB = 1024.0 * 1024.0; // the bench prints MiB as MB
constexpr size_t kMi = 1024 * 1024;

inline PROCESS_MEMORY_COUNTERS Memory(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters;
}

// Seconds on the performance counter.
inline double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency;
}

// Processor time of the calling thread so far, user and kernel, in seconds.
inline double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

class Samples {
public:
    void Add(double value) { m_values.push_back(value); }
    void Append(const Samples& other) { m_values.insert(m_values.end(), other.m_values.begin(), other.m_values.end()); }
    size_t Count() const { return m_values.size(); }
    // The value below which the given fraction of samples lie (nearest rank); 0 without samples.
    double Quantile(double fraction) const
    {
        if (m_values.empty())
            return 0;
        std::vector<double> sorted = m_values;
        std::sort(sorted.begin(), sorted.end());
        const size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
        return sorted[std::min(rank, sorted.size() - 1)];
    }
    double Median() const { return Quantile(0.5); }
    double Max() const { return m_values.empty() ? 0 : *std::max_element(m_values.begin(), m_values.end()); }
    // The fraction of samples above the limit.
    double ShareOver(double limit) const
    {
        if (m_values.empty())
            return 0;
        const auto over = std::count_if(m_values.begin(), m_values.end(), [=](double v) { return v > limit; });
        return static_cast<double>(over) / static_cast<double>(m_values.size());
    }
    double Sum() const
    {
        double sum = 0;
        for (double v : m_values)
            sum += v;
        return sum;
    }

private:
    std::vector<double> m_values;
};

} // namespace zelbench
