#include "app/CompanionCloser.h"

#include <optional>

#include <tlhelp32.h>

#include "common/Handles.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

// How long a companion's window may take to answer one message. A program that does not
// pump its messages would otherwise hold the update, and the shutdown dialog's Cancel, for
// good.
constexpr UINT kWindowAnswerTimeoutMs = 3000;

// Ends the first running process of that name.
void TerminateFirstProcessNamed(const std::string& name) {
    DWORD id = CCompanionCloser::FindProcessByName(name.c_str());
    if (!id) return;
    KernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (process) ::TerminateProcess(process.Get(), 0);
}

// A field as the window search takes it: a missing one is null, which matches any.
const char* FieldOrMissing(const std::optional<std::string>& field) { return field ? field->c_str() : nullptr; }

// The top-level window of a watched program, looked up by class and title as configured.
HWND FindApplicationWindow(const CompanionAction& action) {
    if (!action.looksForWindow) return nullptr;
    return ::FindWindowA(FieldOrMissing(action.windowClass), FieldOrMissing(action.windowTitle));
}

// Asks a watched program's window to close and waits a bounded time for the call to
// return; without a window its process is ended.
void CloseApplication(const AgentInfo& entry) {
    const CompanionAction action = CCompanionPlan::Of(entry);
    if (HWND window = FindApplicationWindow(action)) {
        CCompanionCloser::SendMessageBounded(window, WM_CLOSE, "CPatchInstallerBase::CloseApplication");
        return;
    }
    TerminateFirstProcessNamed(action.processName);
}

// True when the window or the process of a watched program is there.
bool IsApplicationPresent(const AgentInfo& entry) {
    const CompanionAction action = CCompanionPlan::Of(entry);
    return FindApplicationWindow(action) != nullptr ||
           CCompanionCloser::FindProcessByName(action.processName.c_str()) != 0;
}

}  // namespace

std::vector<std::pair<std::string, DWORD>> CCompanionCloser::RunningProcesses() {
    std::vector<std::pair<std::string, DWORD>> processes;
    SnapshotHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        LogStatusF("In CPatchInstallerBase::CheckIfTWIsRunning, could not list the running processes, error %lu",
                   ::GetLastError());
        return processes;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry))
        processes.emplace_back(entry.szExeFile, entry.th32ProcessID);
    return processes;
}

DWORD CCompanionCloser::FindProcessByName(const char* name) {
    if (!name || !*name) return 0;
    for (const auto& process : RunningProcesses())
        if (_stricmp(process.first.c_str(), name) == 0) return process.second;
    return 0;
}

bool CCompanionCloser::SendMessageBounded(HWND window, UINT message, const char* origin) {
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutA(window, message, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, kWindowAnswerTimeoutMs, &answer))
        return true;
    char className[256] = {};
    ::GetClassNameA(window, className, sizeof(className));
    LogStatusF("In %s, the window %p of class %s did not answer message 0x%X within %u ms, error %lu.", origin,
               static_cast<void*>(window), className, message, kWindowAnswerTimeoutMs, ::GetLastError());
    return false;
}

void CCompanionCloser::CloseAll() const {
    for (const AgentInfo& entry : m_config.GetAgentList()) CloseApplication(entry);
    for (const AgentInfo& entry : m_config.GetRelatedAppsList()) CloseApplication(entry);

    std::vector<std::string> agentNames;
    for (const auto& process : RunningProcesses())
        if (CCompanionPlan::IsAgentProcessName(process.first)) agentNames.push_back(process.first);
    for (const std::string& name : agentNames) TerminateFirstProcessNamed(name);
}

bool CCompanionCloser::IsAnyAgentPresent() const { return !FirstAgentPresent().empty(); }

std::string CCompanionCloser::FirstAgentPresent() const {
    for (const AgentInfo& entry : m_config.GetAgentList())
        if (IsApplicationPresent(entry)) {
            const std::string name = CCompanionPlan::DisplayNameOf(entry);
            return name.empty() ? std::string("an agent program") : name;
        }
    for (const auto& process : RunningProcesses())
        if (CCompanionPlan::IsAgentProcessName(process.first)) return process.first;
    return std::string();
}

std::string CCompanionCloser::FirstRelatedApplicationPresent() const {
    for (const AgentInfo& entry : m_config.GetRelatedAppsList())
        if (IsApplicationPresent(entry)) {
            const std::string name = CCompanionPlan::DisplayNameOf(entry);
            return name.empty() ? std::string("a related application") : name;
        }
    return std::string();
}

bool CCompanionCloser::CloseRelatedApplications(std::string* stillRunning) const {
    for (const AgentInfo& entry : m_config.GetRelatedAppsList()) {
        CloseApplication(entry);
        if (!IsApplicationPresent(entry)) continue;
        if (stillRunning) *stillRunning = CCompanionPlan::DisplayNameOf(entry);
        return false;
    }
    return true;
}

}  // namespace tw
