#pragma once
// What a bench prints beside its figures: the machine it ran on and its load, and a quantile of
// its samples. Under Wine, Linux's /proc is read through drive Z:.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

// A file of Linux's /proc, by its name there.
inline std::ifstream ProcFile(const std::string& name)
{
#ifdef _WIN32
    return std::ifstream("Z:\\proc\\" + name);
#else
    return std::ifstream("/proc/" + name);
#endif
}

inline std::string LoadAverage()
{
    std::ifstream load = ProcFile("loadavg");
    std::string one, five, fifteen;
    load >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

inline void PrintMachine()
{
    std::ifstream cpu = ProcFile("cpuinfo");
    std::string line, model = "unknown";
    while (std::getline(cpu, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    std::printf("machine: %s, %u cores; load average before: %s\n", model.c_str(), std::thread::hardware_concurrency(),
                LoadAverage().c_str());
}

// The p-quantile (0 to 1) of samples sorted in ascending order.
inline double Percentile(const std::vector<double>& sorted, double p)
{
    return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}
