#pragma once
// The plain-text patch log "Patchlog.txt" in the installer's folder. One date-and-time
// header per process, then one line per call; the file is opened and closed for every
// line so the log is complete on disk at any moment.

#include <cstddef>

namespace tw {

class StatusLogMgr {
public:
    static constexpr size_t kFolderSize = 520;
    static constexpr unsigned long kRotateAboveBytes = 100000;
    static constexpr const char kLogName[] = "Patchlog.txt";
    static constexpr const char kPreviousLogName[] = "PreviousPatchlog.txt";

    StatusLogMgr();
    virtual ~StatusLogMgr();

    // Appends the line and a newline. A null line opens and closes the file only.
    static void LogStatus(const char* line);

    // Sets the log folder and moves a log larger than 100000 bytes to
    // "PreviousPatchlog.txt". False when there is no log yet or the copy failed.
    static bool RenameLogFile(const char* folder);

    // Forgets the folder and the header flag, as at process start.
    static void ResetState();

    // Full path of the current log file (folder + "Patchlog.txt", or the bare name).
    static void GetLogPath(char* out, size_t cap);
};

}  // namespace tw

namespace tw {

// Formats one line into a 2048-byte buffer (cut if longer) and appends it to the patch log.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void LogStatusF(const char* format, ...);

}  // namespace tw
