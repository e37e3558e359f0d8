#include "config/CompanionPlan.h"

#include <cstring>

namespace tw {
namespace {

constexpr size_t kAgentPrefixLength = sizeof(CCompanionPlan::kAgentProcessPrefix) - 1;

const char* FieldOrNull(const std::optional<std::string>& field) {
    return field && !field->empty() ? field->c_str() : nullptr;
}

}  // namespace

constexpr const char CCompanionPlan::kAgentProcessPrefix[];

CompanionAction CCompanionPlan::Of(const AgentInfo& entry) {
    CompanionAction action;
    action.windowClass = entry.windowClass;
    action.windowTitle = entry.windowTitle;
    // Without class and title a search would answer with any window, and no window has a
    // blank class: either way the entry names none.
    action.looksForWindow = entry.windowClass ? !entry.windowClass->empty() : entry.windowTitle.has_value();
    if (const char* process = FieldOrNull(entry.processName)) action.processName = process;
    action.displayName = DisplayNameOf(entry);
    return action;
}

bool CCompanionPlan::IsAgentProcessName(const std::string& name) {
    return name.size() > kAgentPrefixLength && _strnicmp(name.c_str(), kAgentProcessPrefix, kAgentPrefixLength) == 0;
}

std::string CCompanionPlan::DisplayNameOf(const AgentInfo& entry) {
    for (const auto* field : {&entry.displayName, &entry.processName, &entry.windowTitle, &entry.windowClass})
        if (const char* name = FieldOrNull(*field)) return name;
    return std::string();
}

}  // namespace tw
