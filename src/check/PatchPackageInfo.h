#pragma once
// What one patch file of the update folder is: the installer's own facts about the package
// (on which its verdict rests), and the product versions its first transform moves between.

#include <string>
#include <vector>

#include "app/PatchPackageCheck.h"

namespace twcheck {

struct PatchPackageInfo {
    std::string fileName;  // as patch.ini names it
    bool exists = false;
    unsigned long long size = 0;
    tw::CPatchPackageCheck::Facts facts;      // as the installer reads the package
    std::vector<std::string> targetProducts;  // product codes of the summary's template
    // Product versions "A.B.C.D" before and after, from the first transform's summary;
    // empty when they cannot be read.
    std::string fromVersion;
    std::string toVersion;
};

}  // namespace twcheck
