#include "logging/PatchStatusRecord.h"

#include <time.h>

#include "common/PlatformSeams.h"
#include "common/TextUtil.h"

namespace tw {

PatchStatusRecord::PatchStatusRecord() = default;
PatchStatusRecord::~PatchStatusRecord() = default;

void PatchStatusRecord::StampStartTime() { m_startTime = Platform().Time64(); }
void PatchStatusRecord::StampEndTime() { m_endTime = Platform().Time64(); }

const std::string& PatchStatusRecord::FormatRecordText() {
    char date[64] = "";
    struct tm local {};
    __time64_t start = m_startTime;
    if (_localtime64_s(&local, &start) == 0) strftime(date, sizeof(date), "%Y_%m_%d_%H_%M_%S", &local);

    // A blank connection character is written as "U".
    char connection[2] = {m_connection == ' ' || m_connection == '\0' ? 'U' : m_connection, '\0'};
    const char* channel = m_channel.empty() ? "Unknown" : m_channel.c_str();
    int duration = static_cast<int>(m_endTime - m_startTime);

    m_recordText =
        FormatString("(date-%s;ver-%s;n-%d;nfg-%d;err-%u;s-%d;conn-%s;fg=%d;bg-%d;sd=%d;chan-%s;dur-%d;bytes-%d;a-%s)",
                     date, m_versionText.c_str(), static_cast<int>(m_runNumber), static_cast<int>(m_runNumber),
                     static_cast<unsigned>(m_errorCode), static_cast<int>(m_osFlag), connection,
                     static_cast<int>(m_foreground), static_cast<int>(m_background), static_cast<int>(m_shutdown),
                     channel, duration, static_cast<int>(m_bytes), m_extra.c_str());
    return m_recordText;
}

}  // namespace tw
