#pragma once
// The summary information of a Windows Installer patch package: the product codes it
// targets and its transforms, both as ';'-separated lists of text properties. Read by the
// installer's package check and by the update-folder checker.

#include <windows.h>
#include <msi.h>

#include <string>
#include <vector>

namespace tw {

class CPatchSummary {
public:
    static constexpr UINT kPidTemplate = 7;    // target product codes
    static constexpr UINT kPidLastAuthor = 8;  // transforms
    static constexpr UINT kPidRevNumber = 9;   // patch code and the patches it replaces

    // The text property pid of an open summary handle; false when it is absent, not text, or
    // longer than 4,095 characters.
    static bool ReadText(MSIHANDLE summary, UINT pid, std::string& value);
    // The non-empty parts of a ';'-separated list.
    static std::vector<std::string> SplitList(const std::string& list);
    // True when the list names productCode, compared without regard to letter case.
    static bool ListHolds(const std::string& list, const std::string& productCode);
};

}  // namespace tw
