#include "logging/FolderFileDeleter.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "logging/FailureReporter.h"

namespace tw {

bool CFolderFileDeleter::DeleteFiles(const char* folder, const Texts& texts, char* lastFailure,
                                     size_t lastFailureSize) {
    if (!FolderExists(folder)) {
        FailureReporter::Report(texts.noDirectory, lastFailure, lastFailureSize);
        return false;
    }
    try {
        WIN32_FIND_DATAA data = {};
        FindHandle find(::FindFirstFileA(JoinPath(folder, "*").c_str(), &data));
        if (!find) {
            FailureReporter::Report(texts.noFiles, lastFailure, lastFailureSize);
            return false;
        }
        do {
            if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
            const std::string path = JoinPath(folder, data.cFileName);
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileA(path.c_str())) {
                const int error = static_cast<int>(::GetLastError());
                FailureReporter::Report(FormatString(texts.deleteFailed, data.cFileName, error).c_str(), lastFailure,
                                        lastFailureSize);
            }
        } while (::FindNextFileA(find.Get(), &data));
        return true;
    } catch (...) {
        FailureReporter::Report(texts.exception, lastFailure, lastFailureSize);
        return false;
    }
}

}  // namespace tw
