#pragma once
// The verdict on one update folder: for every installed revision it offers an update from,
// the path the installer would take, and the findings.

#include <cstdint>
#include <string>
#include <vector>

#include "check/CheckFinding.h"
#include "config/CompanionPlan.h"

namespace twcheck {

struct RoutePatch {
    std::string fileName;  // as in the folder
    unsigned long long size = 0;
};

struct Route {
    uint32_t startRevision = 0;
    bool accepted = false;              // the installer's passes accept the update
    std::vector<std::string> sections;  // sections used, in order
    std::vector<RoutePatch> patches;    // in the order they are applied
    unsigned long long totalSize = 0;
    uint32_t finalRevision = 0;  // where the chain of sections leads
    std::string stopMessage;     // why the installer refuses, when it does
};

// A program patch.ini names, and what the run does with it (it asks its window to close,
// or ends its process) before patching, and waits for it to be gone.
struct Companion {
    std::string subject;      // "[AgentData] OneAgentData1"
    bool relatedApp = false;  // from the related-apps section (else an agent)
    tw::CompanionAction action;
};

struct CheckReport {
    std::string folder;
    std::string productCode;
    std::string twVersion;
    std::vector<Route> routes;
    std::string settingsStopMessage;           // the installer stops before any route: why
    unsigned long long requiredFreeBytes = 0;  // free space the run asks for on the product's drive
    std::string installerProperties;           // property list of the apply call
    std::vector<Companion> companions;         // in the order the run closes them
    std::vector<CheckFinding> findings;

    bool Clean() const { return findings.empty(); }
    // At least one finding makes the installer refuse the update.
    bool StopsUpdate() const;
};

}  // namespace twcheck
