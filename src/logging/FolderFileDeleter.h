#pragma once
// Deletes the files directly inside a folder, as the CriticalFixes reset needs it: each
// failure is reported with the caller's own texts and the loop goes on; subfolders are
// not descended into, so their deletion fails and is reported.

#include <cstddef>

namespace tw {

class CFolderFileDeleter {
public:
    struct Texts {
        const char* noDirectory;   // the folder is not an existing directory
        const char* noFiles;       // the listing could not start
        const char* deleteFailed;  // format with the entry's name (%s) and the error (%d)
        const char* exception;     // an exception stopped the deletion
    };

    // False when the folder does not exist, cannot be listed or an exception stopped it.
    static bool DeleteFiles(const char* folder, const Texts& texts, char* lastFailure, size_t lastFailureSize);
};

}  // namespace tw
