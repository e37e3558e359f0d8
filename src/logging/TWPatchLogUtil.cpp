#include "logging/TWPatchLogUtil.h"

namespace tw {

// PLACEHOLDER: product identification and the record files come with the status-record
// work; until then records are created but not written.
void TWPatchLogUtil::SetProductPath(const char* /*productDir*/) {}

TWPatchLogUtil::TWPatchLogUtil() = default;
TWPatchLogUtil::~TWPatchLogUtil() = default;

std::unique_ptr<PatchStatusRecord> TWPatchLogUtil::CreateStatusRecord(bool commandLineGiven) {
    auto record = std::make_unique<PatchStatusRecord>();
    record->SetBackground(commandLineGiven ? 1 : 0);
    return record;
}

void TWPatchLogUtil::FinishStatusRecord(PatchStatusRecord& record, uint32_t exitCode) {
    record.SetErrorCode(exitCode);
}

}  // namespace tw
