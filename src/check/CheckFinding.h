#pragma once
// One thing wrong with an update folder: what kind, where (a file, a section or a key),
// why, the text a user of the installer would see because of it, and whether the installer
// refuses the update because of it or goes on (an advisory).

#include <string>

namespace twcheck {

struct CheckFinding {
    std::string code;          // short kind, stable for pipelines ("patch-missing", ...)
    std::string subject;       // the file or "[section]" or "[section] key" that causes it
    std::string reason;        // one line
    std::string userMessage;   // what the installer shows or logs; empty when nothing
    bool stopsUpdate = false;  // the installer refuses the update because of it

    bool operator==(const CheckFinding& other) const {
        return code == other.code && subject == other.subject && reason == other.reason;
    }

    // A finding with the user's message made one line.
    static CheckFinding Make(const char* code, const std::string& subject, const std::string& reason,
                             const std::string& userMessage = std::string(), bool stopsUpdate = false);
    // The text on one line: line breaks become blanks, trailing blanks go.
    static std::string OneLine(const std::string& text);
    // "[section]" and "[section] key".
    static std::string SectionSubject(const std::string& section);
    static std::string KeySubject(const std::string& section, const std::string& key);
};

}  // namespace twcheck
