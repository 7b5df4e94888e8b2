#pragma once
// What a bench prints beside its figures: the machine it ran on and its load, and a quantile of
// its samples. Under Wine, Linux's /proc is read through drive Z:.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

inline std::string LoadAverage()
{
#ifdef _WIN32
    std::ifstream load("Z:\\proc\\loadavg");
#else
    std::ifstream load("/proc/loadavg");
#endif
    std::string one, five, fifteen;
    load >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

inline void PrintMachine()
{
#ifdef _WIN32
    std::ifstream cpu("Z:\\proc\\cpuinfo");
#else
    std::ifstream cpu("/proc/cpuinfo");
#endif
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
