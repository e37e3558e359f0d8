#include "offcycle/ulip/UlipVersionText.h"

#include <cctype>

namespace tw {

std::string CUlipVersionText::Major(DWORD firstComponent) { return std::to_string(firstComponent); }

bool CUlipVersionText::ReleaseKey(DWORD thirdComponent, std::string& key) {
    static const char kLetters[] = {'P', 'A', 'B', 'R'};
    // The whole quotient, not its last digit: 14005 is no release of any kind.
    const DWORD kind = thirdComponent / 1000;
    if (kind < 1 || kind > 4) return false;
    key = kLetters[kind - 1] + std::to_string(thirdComponent % 1000);
    return true;
}

bool CUlipVersionText::Slipstream(DWORD thirdComponent, std::string& text) {
    if (!ReleaseKey(thirdComponent, text)) return false;
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return true;
}

}  // namespace tw
