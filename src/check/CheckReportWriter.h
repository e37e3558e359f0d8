#pragma once
// Text forms of a check report: a table for people and JSON for a release pipeline.

#include <string>

#include "check/CheckReport.h"

namespace twcheck {

class CCheckReportWriter {
public:
    static std::string FormatTable(const CheckReport& report);
    static std::string FormatJson(const CheckReport& report);
    // One route as a JSON object.
    static std::string RouteJson(const Route& route);
    // A JSON string literal of the text (quotes included).
    static std::string JsonString(const std::string& text);
    // "stops the update" or "advisory".
    static const char* SeverityText(const CheckFinding& finding);
    // What the run does with a program patch.ini names, in one line.
    static std::string DescribeAction(const tw::CompanionAction& action);
};

}  // namespace twcheck
