#include "check/CheckReport.h"

#include <algorithm>

namespace twcheck {

bool CheckReport::StopsUpdate() const {
    return std::any_of(findings.begin(), findings.end(), [](const CheckFinding& f) { return f.stopsUpdate; });
}

}  // namespace twcheck
