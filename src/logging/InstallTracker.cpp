#include "logging/InstallTracker.h"

namespace tw {

InstallTracker& InstallTracker::Instance() {
    static InstallTracker* tracker = new InstallTracker();  // lives until process end
    return *tracker;
}

void InstallTracker::SendTrackingMessage(unsigned /*errorNumber*/, const char* /*text*/, bool /*isError*/) {
    // PLACEHOLDER: no sender yet; nothing is sent.
}

}  // namespace tw
