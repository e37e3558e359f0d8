#pragma once
// What the run does with the programs patch.ini names in its agent-data and related-apps
// sections, decided from the entry alone: a window looked up by class and title is asked to
// close; without such a window the process of the named executable is ended. Processes whose
// name begins with the agent prefix are ended in every run. The installer acts on this plan;
// the update-folder checker lists it.

#include <optional>
#include <string>

#include "config/AgentInfo.h"

namespace tw {

struct CompanionAction {
    // The window search: class and title as the search takes them; a missing one matches
    // any window, a blank title only an empty one. An entry with a blank class, or with
    // neither class nor title, names no window.
    bool looksForWindow = false;
    std::optional<std::string> windowClass;
    std::optional<std::string> windowTitle;
    // The executable whose first process is ended when no such window is there; empty when
    // the entry names none (a blank name counts as none).
    std::string processName;
    // The name a program still running is shown by.
    std::string displayName;
};

class CCompanionPlan {
public:
    static constexpr const char kAgentProcessPrefix[] = "twdage";

    static CompanionAction Of(const AgentInfo& entry);

    // True when a process name is longer than the agent prefix and begins with it (any case).
    static bool IsAgentProcessName(const std::string& name);

    // The name a still-running program is shown by: its display name, else its process
    // name, window title or window class, the first that is not blank.
    static std::string DisplayNameOf(const AgentInfo& entry);
};

}  // namespace tw
