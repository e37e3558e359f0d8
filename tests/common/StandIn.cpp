#include "StandIn.h"

#include "common/TestSupport.h"

namespace twtest {

std::string StandInExe() { return BinaryPath("tests\\fixtures\\standin\\tww.exe"); }

bool StandIn::Start(const std::string& exe, const std::string& switches) {
    static unsigned counter = 0;
    const std::string eventName =
        "TWStandInReady_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++counter);
    tw::KernelHandle ready(::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    if (!ready) return false;
    std::string command = "\"" + exe + "\" " + switches + " /ready " + eventName;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    m_process.Reset(info.hProcess);
    m_id = info.dwProcessId;
    tw::KernelHandle thread(info.hThread);
    HANDLE waits[2] = {ready.Get(), m_process.Get()};
    return ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

bool StandIn::IsRunning() const { return m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }

bool StandIn::WaitForExit(DWORD milliseconds) const {
    return !m_process || ::WaitForSingleObject(m_process.Get(), milliseconds) == WAIT_OBJECT_0;
}

void StandIn::Stop() {
    if (IsRunning()) {
        ::TerminateProcess(m_process.Get(), 0);
        ::WaitForSingleObject(m_process.Get(), 10000);
    }
    m_process.Reset();
    m_id = 0;
}

}  // namespace twtest
