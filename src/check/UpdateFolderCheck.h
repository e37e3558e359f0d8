#pragma once
// Judges what the reader found in an update folder. Pure functions: the same snapshot
// always gives the same report, and nothing is read or written.

#include "check/CheckReport.h"
#include "check/UpdateFolderSnapshot.h"

namespace twcheck {

class CUpdateFolderCheck {
public:
    static CheckReport Evaluate(const UpdateFolderSnapshot& snapshot);

    // Sections and keys that the installer ignores or refuses.
    static std::vector<CheckFinding> CheckSections(const UpdateFolderSnapshot& snapshot);
    // Holes, loops and conflicting sections of the delta-patch chain, per simulated run.
    static std::vector<CheckFinding> CheckChain(const UpdateFolderSnapshot& snapshot);
    // Missing patch files, files that are no patch package, for another product or for
    // other product versions than their section states; twversion against the patches.
    static std::vector<CheckFinding> CheckPackages(const UpdateFolderSnapshot& snapshot);

    // The route of one simulated run.
    static Route RouteOf(const UpdateFolderSnapshot& snapshot, const SimulatedRun& run);
};

}  // namespace twcheck
