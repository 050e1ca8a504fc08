#pragma once

// Timing helpers shared by the benchmarks.

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

inline double milliseconds(const timespec &time)
{
    return double(time.tv_sec) * 1e3 + double(time.tv_nsec) / 1e6;
}

// Processor time of this process so far: on a busy shared machine wall
// time mostly measures the neighbours.
inline double processorMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return milliseconds(now);
}

inline double wallMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return milliseconds(now);
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// What one run of a program cost as a whole process.
struct ProgramRun {
    bool succeeded = false;
    double processorMs = 0.0; // user and system time
    double wallMs = 0.0;
    // The kernel counts the memory of the process that started the program
    // too: start programs before this process grows.
    long peakMegabytes = 0;
};

// Runs command (the program's path first) with its standard output thrown
// away, and waits for it.
inline ProgramRun runProgram(const std::vector<std::string> &command)
{
    std::vector<char *> arguments;
    for (const std::string &word : command)
        arguments.push_back(const_cast<char *>(word.c_str()));
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ProgramRun run;
    const double start = wallMilliseconds();
    pid_t child = 0;
    const bool started = posix_spawn(&child, arguments[0], &actions, nullptr, arguments.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (!started || wait4(child, &status, 0, &usage) != child)
        return run;
    run.wallMs = wallMilliseconds() - start;
    const auto ms = [](const timeval &time) { return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3; };
    run.processorMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    run.peakMegabytes = usage.ru_maxrss / 1024;
    run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The run of the least processor time among a few.
inline ProgramRun bestRunOf(int runs, const std::vector<std::string> &command)
{
    ProgramRun best;
    for (int i = 0; i < runs; ++i) {
        const ProgramRun run = runProgram(command);
        if (!run.succeeded)
            return run;
        if (i == 0 || run.processorMs < best.processorMs)
            best = run;
    }
    return best;
}

} // namespace bench
