#pragma once
// The name of the temporary copy of an off-cycle file: in the file's own folder, the file's
// name without extension, the marker "._OC", six letters or digits, and the file's extension
// ("taxrates._OCab12cd.dat"). The copier makes such names; the journal accepts no other.

#include <string>

namespace tw {

class COffCycleCopyName {
public:
    static constexpr char kMarker[] = "._OC";
    static constexpr size_t kRandomLength = 6;

    // The copy's path for a source path and kRandomLength random characters; empty when the
    // source has no folder or the characters are not kRandomLength letters or digits.
    static std::string Compose(const std::string& sourcePath, const std::string& random);

    // Whether copy is such a name for source: the same folder (letter case ignored), the
    // source's name, the marker, six lower-case letters or digits, the source's extension.
    static bool IsCopyNameOf(const std::string& source, const std::string& copy);

private:
    static bool IsRandomText(const std::string& text);
};

}  // namespace tw
