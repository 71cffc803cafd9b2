// What the check benchmarks share: the median of their runs, and a Python peer's check run
// as a process of its own.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs "python3 <script> 127.0.0.1 <port> <user> <password> <options>"; the peer prints its
// seconds, the messages it found and what it fetched of them. Returns the seconds, -1 when it
// failed.
inline double PythonCheck(const std::string& script, int port, const std::string& user,
                          const std::string& password, int& messages,
                          const std::string& options = "") {
    const std::string command = "python3 " + script + " 127.0.0.1 " + std::to_string(port) + " " +
                                user + " " + password + " " + options;
    FILE* pipe = popen(command.c_str(), "r");
    double seconds = -1;
    int fetched = 0;
    messages = 0;
    if (pipe) {
        if (std::fscanf(pipe, "%lf %d %d", &seconds, &messages, &fetched) != 3)
            seconds = -1;
        pclose(pipe);
    }
    return seconds;
}
