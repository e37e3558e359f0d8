#pragma once
// The table of Windows Installer result codes with their log texts and user texts.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

class CMsiResultTable {
public:
    struct Row {
        uint32_t code;
        const char* logText;
        const char* userText;  // a format with one %d where it begins with "Problem"
        bool supportTail;
    };

    // The row of the code, or null when the table has none.
    static const Row* Find(uint32_t code);
    static const Row* Rows(size_t* count);

    // The user text of the row, with the support tail where the row has one, formatted
    // with the code.
    static std::string UserText(const Row& row, uint32_t code);
};

}  // namespace tw
