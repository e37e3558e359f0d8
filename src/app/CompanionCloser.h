#pragma once
// The programs that must not run while the product is patched: the agents and related
// applications patch.ini names, and the "twdage" agent processes. Finds them and asks them
// to close, or ends their processes, as their plan (config/CompanionPlan.h) says.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "config/AgentInfo.h"
#include "config/CompanionPlan.h"
#include "config/ConfigMgr.h"

namespace tw {

class CCompanionCloser {
public:
    explicit CCompanionCloser(const CConfigMgr& config) : m_config(config) {}

    // Closes the agent and related-application windows, or ends their processes, and ends
    // the "twdage" processes.
    void CloseAll() const;
    // True when an agent's window or process, or a "twdage" process, is there.
    bool IsAnyAgentPresent() const;
    // The name to show of the first agent or "twdage" process that is there; empty when none.
    std::string FirstAgentPresent() const;
    // Asks each related application to close once more; false and the name to show of the
    // first one still there, true when none is.
    bool CloseRelatedApplications(std::string* stillRunning) const;
    // The same question without asking anything to close: the name to show of the first
    // related application that is there; empty when none is.
    std::string FirstRelatedApplicationPresent() const;

    // Executable names of the running processes, in snapshot order, with their ids.
    static std::vector<std::pair<std::string, DWORD>> RunningProcesses();
    // Id of the first running process whose executable name equals name (any case), or 0.
    static DWORD FindProcessByName(const char* name);
    // Sends a message and waits a bounded time for the answer; a window that did not answer
    // (hung, or gone meanwhile) is logged with origin. True when it answered.
    static bool SendMessageBounded(HWND window, UINT message, const char* origin);

private:
    const CConfigMgr& m_config;
};

}  // namespace tw
