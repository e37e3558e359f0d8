#pragma once
// What one patch file of the update folder is, as far as Windows Installer and its
// transforms tell.

#include <cstdint>
#include <string>
#include <vector>

namespace twcheck {

struct PatchPackageInfo {
    std::string fileName;  // as patch.ini names it
    bool exists = false;
    unsigned long long size = 0;
    bool isPatch = false;                     // opened as a patch package and its summary read
    std::string problem;                      // why it is not one (empty when it is)
    std::vector<std::string> targetProducts;  // product codes of the summary's template
    // Product versions "A.B.C.D" before and after, from the first transform's summary;
    // empty when they cannot be read.
    std::string fromVersion;
    std::string toVersion;
};

}  // namespace twcheck
