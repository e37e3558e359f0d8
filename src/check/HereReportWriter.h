#pragma once
// Text forms of the --here answer: the verdict on its first line, then the details; and the
// same as JSON.

#include <string>

#include "check/HereReport.h"

namespace twcheck {

class CHereReportWriter {
public:
    static std::string FormatText(const HereReport& report, const std::string& updateFolder);
    static std::string FormatJson(const HereReport& report);
    // "would-update", "up-to-date", "would-wait" or "would-stop".
    static const char* OutcomeName(HereReport::Outcome outcome);
};

}  // namespace twcheck
