#pragma once
// One running stand-in product process (tests/fixtures/standin), started with its switches
// and waited for until it has set everything up; ended (if still running) on destruction.

#include <windows.h>

#include <string>

#include "common/Handles.h"

namespace twtest {

// Path of the stand-in product program ("tww.exe") in the build tree.
std::string StandInExe();

class StandIn {
public:
    StandIn() = default;
    ~StandIn() { Stop(); }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    // Starts exe with the switches and waits (bounded) until it has set everything up.
    bool Start(const std::string& exe, const std::string& switches);
    bool IsRunning() const;
    bool WaitForExit(DWORD milliseconds) const;
    HANDLE Process() const { return m_process.Get(); }
    DWORD Id() const { return m_id; }
    void Stop();

private:
    tw::KernelHandle m_process;
    DWORD m_id = 0;
};

}  // namespace twtest
