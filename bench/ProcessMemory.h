// Resident memory of a process, from /proc, in MiB: shared by the benchmarks.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <unistd.h>

// A field of /proc/<pid>/status given in kB ("VmRSS", now; "VmHWM", the peak), in MiB.
inline double StatusMiB(const char* field, pid_t pid = getpid()) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string name = std::string(field) + ":";
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name, 0) == 0)
            return std::atof(line.c_str() + name.size()) / 1024.0;
    return 0;
}

inline double ResidentMiB(pid_t pid = getpid()) {
    return StatusMiB("VmRSS", pid);
}

inline double PeakMiB() {
    return StatusMiB("VmHWM");
}

// Starts this process's peak afresh, so that what came before does not count.
inline void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
