#include "common/ProcessState.h"

#include <algorithm>
#include <vector>

namespace tw {

namespace {

struct Registration {
    ProcessLayer layer;
    ProcessStateReset reset;
};

// Built on first use: registrations run during static initialisation, in no fixed order.
std::vector<Registration>& Registrations() {
    static std::vector<Registration> registrations;
    return registrations;
}

}  // namespace

bool RegisterProcessStateReset(ProcessLayer layer, ProcessStateReset reset) {
    if (reset) Registrations().push_back({layer, reset});
    return true;
}

void ResetProcessState() {
    std::vector<Registration> ordered = Registrations();
    std::stable_sort(ordered.begin(), ordered.end(), [](const Registration& a, const Registration& b) {
        return static_cast<int>(a.layer) > static_cast<int>(b.layer);
    });
    for (const Registration& registration : ordered) registration.reset();
}

}  // namespace tw
