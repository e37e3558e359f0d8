#pragma once
// Whether the product folder of "/P" lets an auto run go on, judged in the order of the
// run's own checks: a folder must be given, be there, hold the product program and lie on
// a drive with the free space the update asks for; an empty one names no product. Beyond
// those, the folder must be the one of the product that is installed: a copy of the
// product elsewhere is not updated. A pure verdict on facts the caller gathers.

#include <string>

namespace tw {

class CProductFolderCheck {
public:
    enum class Outcome {
        kAccepted,
        kNotGiven,           // no "/P", or a folder longer than the command line's record takes
        kMissing,            // not an existing folder
        kNoProgram,          // no product program in it
        kLowDiskSpace,       // its drive has less free space than the update asks for
        kEmpty,              // "/P" followed by nothing
        kNotInstalledFolder  // not the folder of the installed product
    };

    struct Facts {
        bool given = false;
        std::string folder;         // as the run takes it: quotes removed, in its full form
        bool exists = false;        // an existing folder
        bool holdsProgram = false;  // the product program lies in it
        bool enoughSpace = true;    // the free space check does not stop the run
        unsigned long long freeBytes = 0;
        std::string installedFolder;  // the installed product's folder; empty when not known
    };

    struct Verdict {
        Outcome outcome = Outcome::kAccepted;
        std::string reason;  // one line; empty when accepted
    };

    static Verdict Judge(const Facts& facts);
};

}  // namespace tw
