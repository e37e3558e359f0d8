#include "common/PatchSummary.h"

#include <msiquery.h>

#include <cstring>

namespace tw {

namespace {
constexpr size_t kTextSize = 4096;
}  // namespace

bool CPatchSummary::ReadText(MSIHANDLE summary, UINT pid, std::string& value) {
    UINT type = 0;
    INT number = 0;
    FILETIME time{};
    char buffer[kTextSize] = {};
    DWORD size = sizeof(buffer);
    UINT rc = ::MsiSummaryInfoGetPropertyA(summary, pid, &type, &number, &time, buffer, &size);
    if (rc != ERROR_SUCCESS || type != VT_LPSTR) return false;
    buffer[sizeof(buffer) - 1] = '\0';
    value = buffer;
    return true;
}

std::vector<std::string> CPatchSummary::SplitList(const std::string& list) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = list.find(';', start);
        std::string part = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

bool CPatchSummary::ListHolds(const std::string& list, const std::string& productCode) {
    for (const std::string& item : SplitList(list)) {
        if (::_stricmp(item.c_str(), productCode.c_str()) == 0) return true;
    }
    return false;
}

}  // namespace tw
