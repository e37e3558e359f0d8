#pragma once
// The free disk space check made before patching, and the low-space message.

namespace tw {

class CDiskSpaceCheck {
public:
    enum Result { kUnknown = -1, kNotEnough = 0, kEnough = 1 };

    static constexpr unsigned long long kRequiredBytes = 407552000ULL;  // 398 x 1024000
    static constexpr unsigned long long kMegabyte = 1024000ULL;
    static constexpr long kRequiredMegabytes = 398;

    // Checks the drive of the given directory. Unknown for an empty path; a failed query
    // counts as not enough. freeBytes receives the count in any case (0 when unknown).
    static Result Check(const char* directory, unsigned long long* freeBytes);

    // Shows string 520 filled with the free megabytes, the directory's drive letter and
    // the requirement, without owner and with the stop icon, then appends it to the log.
    static void ShowLowSpaceMessage(const char* directory, unsigned long long freeBytes);
};

}  // namespace tw
