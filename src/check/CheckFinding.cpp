#include "check/CheckFinding.h"

namespace twcheck {

CheckFinding CheckFinding::Make(const char* code, const std::string& subject, const std::string& reason,
                                const std::string& userMessage, bool stopsUpdate) {
    return CheckFinding{code, subject, reason, OneLine(userMessage), stopsUpdate};
}

std::string CheckFinding::OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += (c == '\n') ? ' ' : c;
    }
    size_t end = out.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : out.substr(0, end + 1);
}

std::string CheckFinding::SectionSubject(const std::string& section) { return "[" + section + "]"; }

std::string CheckFinding::KeySubject(const std::string& section, const std::string& key) {
    return SectionSubject(section) + " " + key;
}

}  // namespace twcheck
