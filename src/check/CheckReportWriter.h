#pragma once
// Text forms of a check report: a table for people and JSON for a release pipeline.

#include <string>

#include "check/CheckReport.h"

namespace twcheck {

class CCheckReportWriter {
public:
    static std::string FormatTable(const CheckReport& report);
    static std::string FormatJson(const CheckReport& report);
    // A JSON string literal of the text (quotes included).
    static std::string JsonString(const std::string& text);
};

}  // namespace twcheck
