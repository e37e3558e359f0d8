#pragma once
// Judges whether the update folder would update the product on this machine, by the
// installer's own decisions in the installer's order: the product folder of /P (and its
// drive's free space), the first read of patch.ini, the product installed, the version
// gate and the chain of the second read, the packages of that chain, and last the running
// product, for which the run waits. Pure: the facts are gathered by CMachineReader.

#include "check/CheckReport.h"
#include "check/HereReport.h"
#include "check/MachineFacts.h"
#include "check/UpdateFolderSnapshot.h"

namespace twcheck {

class CHereCheck {
public:
    static HereReport Judge(const UpdateFolderSnapshot& snapshot, const CheckReport& folderReport,
                            const MachineFacts& facts);

    // What the running-product check found, in a few words.
    static std::string RunningReason(const MachineFacts& facts);
};

}  // namespace twcheck
