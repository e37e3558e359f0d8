#pragma once
// The answer of --here: would the update folder update the product installed on this
// machine, and from which revision to which; or why not, and what the installer would do
// instead (the exit code it would record).

#include <cstdint>
#include <string>

#include "check/CheckReport.h"

namespace twcheck {

struct HereReport {
    enum class Outcome {
        kWouldUpdate,  // the run would apply the chain of patches
        kUpToDate,     // the run would apply nothing: the product is at the update's revision
        kWouldWait,    // the run would wait for the product (or a program) to close, then go on
        kWouldStop,    // the run would stop without changing the product
    };
    Outcome outcome = Outcome::kWouldStop;
    std::string verdict;           // one line
    int32_t exitCode = 0;          // what the installer would record (and mostly return)
    bool noRecord = false;         // the run would end without a status record (or not start)
    bool processExitZero = false;  // the run would end with process exit code 0 nonetheless

    std::string productName;
    std::string productCode;
    bool installed = false;
    std::string installedVersion;  // "VersionString"
    bool revisionKnown = false;
    uint32_t installedRevision = 0;
    uint32_t targetRevision = 0;  // the revision twversion states
    Route route;                  // from the installed revision (when known)

    std::string productFolder;                  // the folder the run would be given
    bool productFolderFromCommandLine = false;  // given with /P, else the installed product's
    std::string installedFolder;
    bool productFolderAccepted = false;
    std::string productFolderReason;

    unsigned long long freeBytes = 0;
    unsigned long long requiredFreeBytes = 0;
    bool enoughSpace = false;

    bool running = false;
    std::string runningReason;

    unsigned stoppingFindings = 0;  // of the update folder's own check
    unsigned advisories = 0;

    // The update would go through now, without waiting.
    bool Passes() const { return outcome == Outcome::kWouldUpdate || outcome == Outcome::kUpToDate; }
};

}  // namespace twcheck
