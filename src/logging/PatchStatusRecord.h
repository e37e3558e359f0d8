#pragma once
// The machine-readable summary of one run, appended to "Patch.log" and "Temp.log" in the
// update log folder when the run ends.

#include <cstdint>
#include <ctime>
#include <string>

namespace tw {

class PatchStatusRecord {
public:
    PatchStatusRecord();
    virtual ~PatchStatusRecord();

    const std::string& GetVersionText() const { return m_versionText; }
    void SetVersionText(const std::string& v) { m_versionText = v; }
    const std::string& GetChannel() const { return m_channel; }
    void SetChannel(const std::string& v) { m_channel = v; }
    uint32_t GetRunNumber() const { return m_runNumber; }
    void SetRunNumber(uint32_t v) { m_runNumber = v; }
    uint32_t GetForeground() const { return m_foreground; }
    void SetForeground(uint32_t v) { m_foreground = v; }
    uint32_t GetBackground() const { return m_background; }
    void SetBackground(uint32_t v) { m_background = v; }
    uint32_t GetShutdown() const { return m_shutdown; }
    void SetShutdown(uint32_t v) { m_shutdown = v; }
    uint32_t GetErrorCode() const { return m_errorCode; }
    void SetErrorCode(uint32_t v) { m_errorCode = v; }
    uint32_t GetOsFlag() const { return m_osFlag; }
    void SetOsFlag(uint32_t v) { m_osFlag = v; }
    char GetConnection() const { return m_connection; }
    void SetConnection(char v) { m_connection = v; }
    __time64_t GetStartTime() const { return m_startTime; }
    void SetStartTime(__time64_t v) { m_startTime = v; }
    __time64_t GetEndTime() const { return m_endTime; }
    void SetEndTime(__time64_t v) { m_endTime = v; }
    uint32_t GetBytes() const { return m_bytes; }
    void SetBytes(uint32_t v) { m_bytes = v; }
    const std::string& GetExtra() const { return m_extra; }
    void SetExtra(const std::string& v) { m_extra = v; }

    // Start and end times from the clock.
    void StampStartTime();
    void StampEndTime();

    // Formats the record text and keeps it; returns it.
    const std::string& FormatRecordText();
    const std::string& GetRecordText() const { return m_recordText; }

private:
    std::string m_versionText;
    std::string m_channel;
    uint32_t m_runNumber = 0;
    uint32_t m_foreground = 1;
    uint32_t m_background = 1;
    uint32_t m_shutdown = 0;
    uint32_t m_errorCode = 0;
    uint32_t m_osFlag = 0;
    char m_connection = 'U';
    __time64_t m_startTime = 0;
    __time64_t m_endTime = 0;
    uint32_t m_bytes = 0;
    std::string m_extra;
    std::string m_recordText = " ";
};

}  // namespace tw
