#include "common/BenchReport.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>

#include "common/Handles.h"

namespace twbench {

CBenchReport::CBenchReport() {
    ::QueryPerformanceFrequency(&m_frequency);
    Start();
}

void CBenchReport::Start() {
    ::QueryPerformanceCounter(&m_start);
    m_stop = m_start;
}

void CBenchReport::Stop() { ::QueryPerformanceCounter(&m_stop); }

double CBenchReport::Seconds() const {
    return static_cast<double>(m_stop.QuadPart - m_start.QuadPart) / static_cast<double>(m_frequency.QuadPart);
}

void CBenchReport::Print(const char* extra) const {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) counters = {};
    char line[512];
    std::snprintf(line, sizeof(line), "work_s=%.6f peak_ws_kb=%llu peak_pagefile_kb=%llu %s\n", Seconds(),
                  static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024),
                  static_cast<unsigned long long>(counters.PeakPagefileUsage / 1024), extra ? extra : "");
    // A GUI program has no usable standard output under every launcher: a file is safer.
    const char* path = std::getenv("TW_BENCH_RESULT");
    tw::CFile out(path && *path ? std::fopen(path, "a") : nullptr);
    std::fputs(line, out ? out.Get() : stdout);
    if (!out) std::fflush(stdout);
}

}  // namespace twbench
