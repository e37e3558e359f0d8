#pragma once
// The version record: what patch.ini says about the product the update is meant for and
// what the version gate found on the machine.

#include <cstdint>

namespace tw {

struct TWVersionInfo {
    static constexpr int kProductNameSize = 128;   // at most 127 characters
    static constexpr int kFileVersionSize = 32;    // at most 31 characters
    static constexpr int kTargetVersionSize = 12;  // at most 11 characters

    char productName[kProductNameSize] = {};         // TWName
    char productFileVersion[kFileVersionSize] = {};  // TWFileVersion, dotted
    uint32_t patchRevision = 0;                      // revision stated by twversion
    uint32_t installedRevision = 0;                  // revision of the installed product
    char targetVersion[kTargetVersionSize] = {};     // the twversion value
    int32_t majorVersion = 10;                       // characters 1-2 of twversion
    int32_t revision = 1;                            // characters 4-6
    int32_t level = 0;                               // character 3
    int32_t build = 1;                               // characters 7-9
    int32_t patchLevel = 0;                          // copy of level, compared by the gate
    int32_t installedLevel = 0;                      // level of the installed product
    // Level handed to the delta-section check. Nothing in patch.ini or on the machine fills
    // it, so the Release-only naming rule of that check stays dormant.
    int32_t deltaSectionLevel = 0;
};

}  // namespace tw
