#pragma once
// Reads a patch file of the update folder: the installer's own facts about the package
// (whether it is a complete patch package, its target product codes and transform list),
// and beyond them the product and versions that each of its transforms is made for.

#include <cstdint>
#include <string>
#include <vector>

#include "check/PatchPackageInfo.h"

namespace twcheck {

class CPatchPackageReader {
public:
    // path: the file's full path; fileName: the name patch.ini gives it.
    static PatchPackageInfo Read(const std::string& path, const std::string& fileName);

    // The product code and versions of a transform summary's revision text
    // "{product}old;{product}new;{upgrade}"; false when it has not that form.
    static bool SplitTransformRevision(const std::string& revision, std::string& productCode, std::string& fromVersion,
                                       std::string& toVersion);

    // Text property pid of a property-set stream (the summary information layout); false
    // when the stream is too short, malformed or lacks it.
    static bool ReadSummaryText(const std::vector<uint8_t>& stream, uint32_t pid, std::string& value);
};

}  // namespace twcheck
