#pragma once
// What a benchmark program prints on its one result line: the seconds of the measured work
// (QueryPerformanceCounter) and the process's peak memory, as the process itself sees it.

#include <windows.h>

namespace twbench {

class CBenchReport {
public:
    CBenchReport();
    // Starts the clock of the measured work (the constructor starts it too).
    void Start();
    // Stops the clock.
    void Stop();
    // Writes "work_s=... peak_ws_kb=... peak_pagefile_kb=..." and the extra text to the file
    // named by the environment variable TW_BENCH_RESULT (appended), else to standard output.
    void Print(const char* extra = "") const;
    double Seconds() const;

private:
    LARGE_INTEGER m_frequency{};
    LARGE_INTEGER m_start{};
    LARGE_INTEGER m_stop{};
};

}  // namespace twbench
