// The process's own memory as Linux reports it, for the peak-memory benchmarks.
#ifndef MALVORANT_BENCH_PROCMEMORY_H
#define MALVORANT_BENCH_PROCMEMORY_H

#include <fstream>
#include <string>

// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:"); -1 when absent.
inline long procStatusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Starts VmHWM again from the present resident size.
inline void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

#endif
