#pragma once
// Looks at a delta patch package before anything of the product is touched: it must be a
// complete Windows Installer patch package whose summary names the product it is applied
// to. Windows Installer itself accepts an empty or foreign package without a word (and
// skips it) and may crash on a truncated one.

#include <string>

namespace tw {

class CPatchPackageCheck {
public:
    // True when the package at path can be applied to productCode; otherwise false with a
    // short reason ("it is empty", "it is for another product", ...).
    static bool Check(const std::string& path, const std::string& productCode, std::string* problem);
};

}  // namespace tw
