#pragma once
// Identifies the installed product for the run's status record and owns the record files
// "Patch.log" and "Temp.log" in the update log folder.

#include <memory>
#include <string>

#include "logging/PatchStatusRecord.h"

namespace tw {

class TWPatchLogUtil {
public:
    // The product folder given on the command line, used to find the product's version and
    // flavor; set by the entry point before the utility is created.
    static void SetProductPath(const char* productDir);

    TWPatchLogUtil();
    virtual ~TWPatchLogUtil();

    // A new record for this run: start time, version text, OS flag, background flag,
    // channel, run number and error code 0.
    std::unique_ptr<PatchStatusRecord> CreateStatusRecord(bool commandLineGiven);

    // Stamps the end time, stores the exit code and writes the record out.
    void FinishStatusRecord(PatchStatusRecord& record, uint32_t exitCode);

    const std::string& GetLogFolder() const { return m_logFolder; }

private:
    std::string m_logFolder;
};

}  // namespace tw
