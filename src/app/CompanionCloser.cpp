#include "app/CompanionCloser.h"

#include <optional>

#include <tlhelp32.h>

#include "common/Handles.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

constexpr char kAgentProcessPrefix[] = "twdage";
constexpr size_t kAgentProcessPrefixLength = sizeof(kAgentProcessPrefix) - 1;

// How long a companion's window may take to answer one message. A program that does not
// pump its messages would otherwise hold the update, and the shutdown dialog's Cancel, for
// good.
constexpr UINT kWindowAnswerTimeoutMs = 3000;

// Field text of a watched-program entry, or null when the field is missing or blank.
const char* FieldOrNull(const std::optional<std::string>& field) {
    return field && !field->empty() ? field->c_str() : nullptr;
}

// Ends the first running process of that name.
void TerminateFirstProcessNamed(const char* name) {
    DWORD id = CCompanionCloser::FindProcessByName(name);
    if (!id) return;
    KernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (process) ::TerminateProcess(process.Get(), 0);
}

// Field text as the window search takes it: a blank field is an empty text, which only an
// empty class or title matches; only a missing field is null, which matches any.
const char* FieldOrMissing(const std::optional<std::string>& field) { return field ? field->c_str() : nullptr; }

// The top-level window of a watched program, looked up by class and title as configured.
// An entry without class and title names no window (FindWindowA would answer with any
// window).
HWND FindApplicationWindow(const AgentInfo& entry) {
    const char* windowClass = FieldOrMissing(entry.windowClass);
    const char* title = FieldOrMissing(entry.windowTitle);
    if (!windowClass && !title) return nullptr;
    return ::FindWindowA(windowClass, title);
}

// Asks a watched program's window to close and waits a bounded time for the call to
// return; without a window its process is ended.
void CloseApplication(const AgentInfo& entry) {
    if (HWND window = FindApplicationWindow(entry)) {
        CCompanionCloser::SendMessageBounded(window, WM_CLOSE, "CPatchInstallerBase::CloseApplication");
        return;
    }
    TerminateFirstProcessNamed(FieldOrNull(entry.processName));
}

// True when the window or the process of a watched program is there.
bool IsApplicationPresent(const AgentInfo& entry) {
    return FindApplicationWindow(entry) != nullptr ||
           CCompanionCloser::FindProcessByName(FieldOrNull(entry.processName)) != 0;
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

bool CCompanionCloser::IsAgentProcessName(const std::string& name) {
    return name.size() > kAgentProcessPrefixLength &&
           _strnicmp(name.c_str(), kAgentProcessPrefix, kAgentProcessPrefixLength) == 0;
}

std::string CCompanionCloser::DisplayNameOf(const AgentInfo& entry) {
    for (const auto* field : {&entry.displayName, &entry.processName, &entry.windowTitle, &entry.windowClass})
        if (const char* name = FieldOrNull(*field)) return name;
    return std::string();
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
        if (IsAgentProcessName(process.first)) agentNames.push_back(process.first);
    for (const std::string& name : agentNames) TerminateFirstProcessNamed(name.c_str());
}

bool CCompanionCloser::IsAnyAgentPresent() const {
    for (const AgentInfo& entry : m_config.GetAgentList())
        if (IsApplicationPresent(entry)) return true;
    for (const auto& process : RunningProcesses())
        if (IsAgentProcessName(process.first)) return true;
    return false;
}

bool CCompanionCloser::CloseRelatedApplications(std::string* stillRunning) const {
    for (const AgentInfo& entry : m_config.GetRelatedAppsList()) {
        CloseApplication(entry);
        if (!IsApplicationPresent(entry)) continue;
        if (stillRunning) *stillRunning = DisplayNameOf(entry);
        return false;
    }
    return true;
}

}  // namespace tw
