#pragma once
// What one patch file of the update folder is: the installer's own facts about the package
// (on which its verdict rests), and the product versions each of its transforms moves
// between.

#include <string>
#include <vector>

#include "app/PatchPackageCheck.h"

namespace twcheck {

// One product transform of a package, as its own summary describes it.
struct TransformInfo {
    std::string name;         // as the transform list names it, without the ':'
    bool readable = false;    // its summary could be read
    std::string productCode;  // the product it was made for
    std::string fromVersion;  // product version "A.B.C.D" before
    std::string toVersion;    // and after
};

struct PatchPackageInfo {
    std::string fileName;  // as patch.ini names it
    bool exists = false;
    unsigned long long size = 0;
    tw::CPatchPackageCheck::Facts facts;      // as the installer reads the package
    std::vector<std::string> targetProducts;  // product codes of the summary's template
    // Every product transform of the list, in its order (the patch transforms, whose names
    // begin with '#', left out).
    std::vector<TransformInfo> transforms;
};

}  // namespace twcheck
