#pragma once
// Identifies the installed product for the run's status record and owns the record files
// "Patch.log" and "Temp.log" in the update log folder.

#include <cstdint>
#include <memory>
#include <string>

#include "logging/PatchStatusRecord.h"

namespace tw {

class TWPatchLogUtil {
public:
    static constexpr size_t kLineBufferSize = 512;  // longest line read back from "Patch.log"
    static constexpr uint32_t kMaxRecordsPerVersion = 5;

    // The product folder given on the command line, used to find the product's version and
    // flavor; set by the entry point before the utility is created.
    static void SetProductPath(const char* productDir);
    static const std::string& GetProductPath();

    // Builds the update log folder, reads the product's version and flavor and chooses the
    // channel.
    TWPatchLogUtil();
    virtual ~TWPatchLogUtil();

    // A new record for this run: start time, version text, OS flag, background flag,
    // channel, run number and error code 0.
    std::unique_ptr<PatchStatusRecord> CreateStatusRecord(bool commandLineGiven);

    // Stamps the end time, stores the exit code and writes the record out.
    void FinishStatusRecord(PatchStatusRecord& record, uint32_t exitCode);

    // Appends the record to "Patch.log" (with a newline) and "Temp.log" (without) when its
    // run number is below 6. Failures are silent.
    void WriteStatusRecord(PatchStatusRecord& record) const;

    // How often this version text was recorded before, plus one (at most 7).
    uint32_t ReadRunNumber(const std::string& versionText) const;

    // "TWUpdate/" + major + "/" + slip stream + "/" + flavor, or "TWUpdate/" alone when the
    // major text is empty.
    std::string GetVersionText() const;

    // The update log folder (no trailing backslash); empty when it could not be created.
    const std::string& GetLogFolder() const { return m_logFolder; }
    const std::string& GetProductMajor() const { return m_productMajor; }
    const std::string& GetSlipStream() const { return m_slipStream; }
    const std::string& GetFlavor() const { return m_flavor; }
    const std::string& GetChannel() const { return m_channel; }
    bool GetOSFlag() const { return m_osFlag; }

    // Builds (creating each level) the update log folder under the common application data
    // folder; empty when it is not available.
    static std::string BuildLogFolder();

    // Splits a "FileVersion" text into the major text (up to the first blank, cut before the
    // first "d"/"D") and the slip stream (after the first blank, first "w"/"W" removed).
    static void SplitFileVersion(const std::string& fileVersion, std::string& major, std::string& slipStream);

private:
    bool ReadVersionOf(const std::string& exePath);
    void ReadProductVersion();
    bool ReadVersionThroughPatchIni();
    void FindProductFlavor();
    void ChooseChannel(bool commandLineGiven);

    std::string m_editionCode = "kyv";
    std::string m_defaultFlavor = "unknown";
    std::string m_productExe = "tww.exe";
    std::string m_recordLogName = "Patch.log";
    std::string m_tempRecordLogName = "Temp.log";
    std::string m_channelNames[4] = {"TWPatchexe", "ETWPatchexe", "WebPatchChannel", "WebEPatchChannel"};
    size_t m_lineBufferSize = kLineBufferSize;
    std::string m_productMajor;
    std::string m_flavor;
    std::string m_slipStream;
    std::string m_logFolder;
    std::string m_channel;
    bool m_osFlag = false;
};

}  // namespace tw
