// qb_mime_dump_bench: "qb-mimedump --md5" against gmime_dump as whole processes (read, parse,
// decode every part, MD5 of each) on three generated messages, with a check that both find the
// same parts; beside them the time of qb-mimedump's full JSON dump, which also converts and
// prints the body text. Usage: qb_mime_dump_bench [runs] [qb-mimedump path] [gmime_dump path]
#include "MimeSamples.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace MimeSamples;

struct TSample {
    std::string Name;
    std::string Path;
    bool Multipart = false;
    double Megabytes = 0;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct TTimes {
    double Wall = -1; // seconds; negative when the program failed
    double Cpu = 0;   // user + system seconds of the child
};

// Runs program on the message with its output into outPath.
TTimes TimeRun(const std::string& program, const char* option, const std::string& message,
               const std::string& outPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    if (option)
        argv.push_back(const_cast<char*>(option));
    argv.push_back(const_cast<char*>(message.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    TTimes times;
    if (spawned != 0)
        return times;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    times.Cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    times.Wall = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? wall : -1;
    return times;
}

// The "<size> <md5>" lines of "qb-mimedump --md5", the preamble of a multipart left out
// (GMime keeps it apart from the parts).
std::vector<std::string> OurParts(const std::string& text, bool multipart) {
    std::vector<std::string> parts;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        parts.push_back(line);
    if (multipart && !parts.empty())
        parts.erase(parts.begin());
    return parts;
}

// The peer's lines, "<size> <md5> <md5 with CR LF>", in our form: GMime leaves the line end
// before a boundary out of the part, we keep it; a part of ours two bytes longer whose digest
// is that of GMime's part plus CR LF is the same part.
std::vector<std::string> PeerParts(const std::string& text, const std::vector<std::string>& ours) {
    std::vector<std::string> parts;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        size_t size = 0;
        std::string md5, withLineEnd;
        fields >> size >> md5 >> withLineEnd;
        const std::string plain = std::to_string(size) + " " + md5;
        const std::string longer = std::to_string(size + 2) + " " + withLineEnd;
        const size_t i = parts.size();
        parts.push_back(i < ours.size() && ours[i] == longer ? longer : plain);
    }
    return parts;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string Here(const char* argv0, const char* name) {
    std::string dir = argv0;
    const size_t slash = dir.rfind('/');
    return (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "/" + name;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string ours = argc > 2 ? argv[2] : Here(argv[0], "qb-mimedump");
    const std::string theirs = argc > 3 ? argv[3] : Here(argv[0], "gmime_dump");

    char dirTemplate[] = "/tmp/qb_mime_dump_bench.XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = dirTemplate;
    std::mt19937 random(2026);
    std::vector<TSample> samples = {{"20 MB base64 attachment", dir + "/attachment.eml", true},
                                    {"5 MB quoted-printable text", dir + "/qp.eml", false},
                                    {"2000 small parts", dir + "/parts.eml", true}};
    const std::string texts[] = {AttachmentMessage(random, 20u << 20),
                                 TextMessage(random, 5u << 20, true),
                                 SmallPartsMessage(random, 2000)};
    for (size_t i = 0; i < samples.size(); ++i) {
        std::ofstream(samples[i].Path, std::ios::binary) << texts[i];
        samples[i].Megabytes = static_cast<double>(texts[i].size()) / (1 << 20);
    }

    std::printf("Whole process: qb-mimedump --md5 vs gmime_dump (GMime), %d runs each, "
                "alternating; wall time median (best) and CPU time (user + system) median, ms\n",
                runs);
    std::printf("%-27s %7s %24s %24s %12s %17s %s\n", "message", "size MB", "qb-mimedump --md5",
                "gmime_dump", "ratio wall/CPU", "qb-mimedump JSON", "parts");
    bool allSame = true;
    for (const TSample& sample : samples) {
        std::vector<TTimes> oursTimes, theirTimes, jsonTimes;
        const std::string ourOut = dir + "/ours.txt", theirOut = dir + "/theirs.txt",
                          jsonOut = dir + "/ours.json";
        for (int run = 0; run < runs; ++run) {
            oursTimes.push_back(TimeRun(ours, "--md5", sample.Path, ourOut));
            theirTimes.push_back(TimeRun(theirs, nullptr, sample.Path, theirOut));
        }
        // Apart: the kernel writing out a large dump would slow the run that follows it.
        for (int run = 0; run < runs; ++run)
            jsonTimes.push_back(TimeRun(ours, nullptr, sample.Path, jsonOut));
        auto wall = [](const std::vector<TTimes>& times) {
            std::vector<double> values;
            for (const TTimes& t : times)
                values.push_back(t.Wall * 1000);
            return values;
        };
        auto cpu = [](const std::vector<TTimes>& times) {
            std::vector<double> values;
            for (const TTimes& t : times)
                values.push_back(t.Cpu * 1000);
            return values;
        };
        auto best = [](const std::vector<double>& values) {
            return *std::min_element(values.begin(), values.end());
        };
        if (best(wall(oursTimes)) < 0 || best(wall(theirTimes)) < 0 || best(wall(jsonTimes)) < 0) {
            std::printf("%-27s a program failed\n", sample.Name.c_str());
            allSame = false;
            continue;
        }
        const std::vector<std::string> a = OurParts(ReadFile(ourOut), sample.Multipart);
        const std::vector<std::string> b = PeerParts(ReadFile(theirOut), a);
        const bool same = a == b;
        allSame = allSame && same;
        const double wo = Median(wall(oursTimes)), wt = Median(wall(theirTimes));
        const double co = Median(cpu(oursTimes)), ct = Median(cpu(theirTimes));
        std::printf("%-27s %7.1f %7.1f (%6.1f) cpu %5.1f %7.1f (%6.1f) cpu %5.1f %5.2f/%5.2fx "
                    "%7.1f (%6.1f) %zu %s\n",
                    sample.Name.c_str(), sample.Megabytes, wo, best(wall(oursTimes)), co, wt,
                    best(wall(theirTimes)), ct, wo / wt, co / ct, Median(wall(jsonTimes)),
                    best(wall(jsonTimes)), a.size(), same ? "same MD5s" : "MD5s DIFFER");
        if (!same) {
            for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
                if (i >= a.size() || i >= b.size() || a[i] != b[i]) {
                    std::printf("  first difference at part %zu: ours %s, GMime %s\n", i,
                                i < a.size() ? a[i].c_str() : "-",
                                i < b.size() ? b[i].c_str() : "-");
                    break;
                }
        }
    }
    std::printf("ratio = qb-mimedump --md5 median / gmime_dump median, wall and CPU time (below "
                "1: qb-mimedump is faster)\n");
    for (const TSample& sample : samples)
        std::remove(sample.Path.c_str());
    std::remove((dir + "/ours.json").c_str());
    std::remove((dir + "/ours.txt").c_str());
    std::remove((dir + "/theirs.txt").c_str());
    rmdir(dir.c_str());
    return allSame ? 0 : 1;
}
