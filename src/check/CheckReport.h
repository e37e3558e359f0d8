#pragma once
// The verdict on one update folder: for every installed revision it offers an update from,
// the path the installer would take, and the findings.

#include <cstdint>
#include <string>
#include <vector>

#include "check/CheckFinding.h"

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

struct CheckReport {
    std::string folder;
    std::string productCode;
    std::string twVersion;
    std::vector<Route> routes;
    std::string settingsStopMessage;           // the installer stops before any route: why
    unsigned long long requiredFreeBytes = 0;  // free space the run asks for on the product's drive
    std::string installerProperties;           // property list of the apply call
    std::vector<CheckFinding> findings;

    bool Clean() const { return findings.empty(); }
};

}  // namespace twcheck
