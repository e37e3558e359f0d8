#pragma once
// Looks at a delta patch package before anything of the product is touched: it must be a
// complete Windows Installer patch package whose summary names the product it is applied
// to. Windows Installer itself accepts an empty or foreign package without a word (and
// skips it) and may crash on a truncated one. The update-folder checker asks the same
// questions through the same two steps, so the two never disagree.

#include <string>
#include <vector>

namespace tw {

class CPatchPackageCheck {
public:
    // Why a package cannot be applied; None when it can.
    enum class Refusal {
        None,
        Missing,
        Empty,
        NotPackage,
        NotPatch,
        Damaged,
        NoSummary,
        NoProduct,
        OtherProduct,
        NoTransforms
    };

    // What a package is, read once from the file: all that the verdict needs.
    struct Facts {
        bool found = false;
        unsigned long long size = 0;
        Refusal fault = Refusal::None;  // a fault of the file itself, whatever the product
        std::string faultText;          // its reason ("it is empty", ...)
        std::string targets;            // the summary's ';'-separated product codes
        std::string transforms;         // the summary's transform list
    };

    struct Verdict {
        Refusal refusal = Refusal::None;
        std::string reason;  // short reason ("it is for another product (...)"); empty when it passes
    };

    // Reads the package at path.
    static Facts Inspect(const std::string& path);
    // Whether a package with these facts can be applied to productCode. No side effects.
    static Verdict Judge(const Facts& facts, const std::string& productCode);

    // Inspect and Judge: true when the package at path can be applied to productCode;
    // otherwise false with the short reason.
    static bool Check(const std::string& path, const std::string& productCode, std::string* problem);
};

}  // namespace tw
