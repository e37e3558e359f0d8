#pragma once
// The version texts of an installed release, taken from its executable's file version: the
// major text (first component) and the release key, a letter for the release kind followed by
// the release number ("R5" for the third component 4005).

#include <windows.h>

#include <string>

namespace tw {

class CUlipVersionText {
public:
    // The first component in decimal.
    static std::string Major(DWORD firstComponent);
    // The release key in upper case ("R5"); false when the third component divided by 1000 is
    // not 1 to 4 (1 "P", 2 "A", 3 "B", 4 "R").
    static bool ReleaseKey(DWORD thirdComponent, std::string& key);
    // The release key in lower case, the name of the release's folder and manifest ("r5").
    static bool Slipstream(DWORD thirdComponent, std::string& text);
};

}  // namespace tw
