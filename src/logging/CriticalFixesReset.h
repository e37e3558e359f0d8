#pragma once
// Empties the product's CriticalFixes folder and leaves the marker "force_apply_ulip.dat" in
// it, so that the product restores its common files at its next start. The installer's
// completion steps and the wait dialog's Cancel both do it, each with its own texts, its own
// way of reporting and two differences: the completion steps stop when a file could not be
// deleted and mark only a folder that was there before; Cancel goes on and always marks.

#include <functional>
#include <string>

#include "logging/FolderFileDeleter.h"

namespace tw {

class CCriticalFixesReset {
public:
    struct Texts {
        CFolderFileDeleter::Texts deletion;  // the file-by-file texts
        const char* deleteFailed;            // not every file could be deleted
        const char* deleted;                 // logged after the deletion; null: nothing
        const char* markerWritten;           // logged when the marker is written
        const char* markerFailed;            // format with the last system error (%lu)
        const char* markerException;         // an exception while creating the marker
    };
    struct Behaviour {
        bool stopWhenNotDeleted;      // a deletion failure ends the reset (false)
        bool markOnlyExistingFolder;  // no marker (false) when the folder was not there
    };
    using Report = std::function<void(const char* text)>;

    // productDir: the product folder without a trailing backslash. reportFailure takes the
    // deletion's failures (and the file-by-file texts through lastFailure), reportMarker the
    // marker's. True when the marker was written.
    static bool Reset(const std::string& productDir, const Texts& texts, const Behaviour& behaviour, char* lastFailure,
                      size_t lastFailureSize, const Report& reportFailure, const Report& reportMarker);
};

}  // namespace tw
