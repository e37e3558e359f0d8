#include "logging/CriticalFixesReset.h"

#include <windows.h>

#include <cstdio>

#include "common/Handles.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace tw {

namespace {

constexpr char kMarker[] = "force_apply_ulip.dat";

bool IsExistingDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool CCriticalFixesReset::Reset(const std::string& productDir, const Texts& texts, const Behaviour& behaviour,
                                char* lastFailure, size_t lastFailureSize, const Report& reportFailure,
                                const Report& reportMarker) {
    const std::string folder = productDir + "\\CriticalFixes\\";
    const bool existed = IsExistingDirectory(folder);

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
