#pragma once
// One program that the installer watches before patching: taken from one comma-separated
// value of the agent-data or related-apps section of patch.ini. A missing field is empty
// (std::nullopt), which is different from a field that is present but blank.

#include <optional>
#include <string>

namespace tw {

struct AgentInfo {
    std::optional<std::string> windowClass;
    std::optional<std::string> windowTitle;
    std::optional<std::string> processName;
    std::optional<std::string> displayName;
};

}  // namespace tw
