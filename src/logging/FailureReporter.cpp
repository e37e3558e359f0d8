#include "logging/FailureReporter.h"

#include "common/TextUtil.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"

namespace tw {

void FailureReporter::Report(const char* text, char* lastFailure, size_t lastFailureSize) {
    if (!text) return;
    if (lastFailure) SafeCopy(lastFailure, lastFailureSize, text);
    StatusLogMgr::LogStatus(text);
    InstallTracker::Instance().SendTrackingMessage(0, text, true);
}

}  // namespace tw
