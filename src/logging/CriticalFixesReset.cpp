#include "logging/CriticalFixesReset.h"

#include <windows.h>

#include <cstdio>

#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace tw {

namespace {

constexpr char kMarker[] = "force_apply_ulip.dat";

}  // namespace

bool CCriticalFixesReset::Reset(const std::string& productDir, const Texts& texts, const Behaviour& behaviour,
                                char* lastFailure, size_t lastFailureSize, const Report& reportFailure,
                                const Report& reportMarker) {
    const std::string folder = productDir + "\\CriticalFixes\\";
    const bool existed = FolderExists(folder);

    if (!CFolderFileDeleter::DeleteFiles(folder.c_str(), texts.deletion, lastFailure, lastFailureSize)) {
        reportFailure(texts.deleteFailed);
        if (behaviour.stopWhenNotDeleted) return false;
    }
    if (texts.deleted) StatusLogMgr::LogStatus(texts.deleted);
    if (behaviour.markOnlyExistingFolder && !existed) return false;

    try {
        const std::string marker = folder + kMarker;
        CFile file(std::fopen(marker.c_str(), "w"));
        if (!file) {
            reportMarker(FormatString(texts.markerFailed, static_cast<unsigned long>(::GetLastError())).c_str());
            return false;
        }
        StatusLogMgr::LogStatus(texts.markerWritten);
        return true;
    } catch (...) {
        reportMarker(texts.markerException);
        return false;
    }
}

}  // namespace tw
