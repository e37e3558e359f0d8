#pragma once
// One thing wrong with an update folder: what kind, where (a file, a section or a key),
// why, and the text a user of the installer would see because of it.

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
};

}  // namespace twcheck
