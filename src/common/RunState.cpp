#include "common/RunState.h"

#include "common/ProcessState.h"

namespace tw {

CRunState& CRunState::Get() {
    static CRunState state;
    return state;
}

namespace {
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::Common, [] { CRunState::Get() = CRunState(); });
}  // namespace

std::string CRunState::ProductDir() const {
    size_t slash = productExePath.find_last_of('\\');
    if (slash == std::string::npos) return std::string();
    return productExePath.substr(0, slash);
}

}  // namespace tw
