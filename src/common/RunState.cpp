#include "common/RunState.h"

namespace tw {

CRunState& CRunState::Get() {
    static CRunState state;
    return state;
}

void CRunState::Reset() { *this = CRunState(); }

std::string CRunState::ProductDir() const {
    size_t slash = productExePath.find_last_of('\\');
    if (slash == std::string::npos) return std::string();
    return productExePath.substr(0, slash);
}

}  // namespace tw
