#include "logging/PatchStatusRecord.h"

namespace tw {

PatchStatusRecord::PatchStatusRecord() = default;
PatchStatusRecord::~PatchStatusRecord() = default;

// PLACEHOLDER: the record text and the clock come with the status-record work.
void PatchStatusRecord::StampStartTime() {}
void PatchStatusRecord::StampEndTime() {}
const std::string& PatchStatusRecord::FormatRecordText() { return m_recordText; }

}  // namespace tw
