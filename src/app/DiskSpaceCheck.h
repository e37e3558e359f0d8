#pragma once
// The free disk space check made before patching (the message is GeneralUtil's).

#include "config/GeneralUtil.h"

namespace tw {

class CDiskSpaceCheck {
public:
    enum Result { kUnknown = -1, kNotEnough = 0, kEnough = 1 };

    static constexpr unsigned long long kRequiredBytes =
        static_cast<unsigned long long>(GeneralUtil::kRequiredDiskSpaceMB) * GeneralUtil::kDiskSpaceUnitBytes;

    // Checks the drive of the given directory. Unknown for an empty path; a failed query
    // counts as not enough. freeBytes receives the count in any case (0 when unknown).
    static Result Check(const char* directory, unsigned long long* freeBytes);
};

}  // namespace tw
