#include "offcycle/OffCycleCopyName.h"

#include <cstdlib>
#include <cstring>

namespace tw {

constexpr char COffCycleCopyName::kMarker[];

namespace {

// The name part of a path split into its stem and its extension with the dot.
void SplitName(const std::string& name, std::string& stem, std::string& extension) {
    const size_t dot = name.rfind('.');
    stem = dot == std::string::npos ? name : name.substr(0, dot);
    extension = dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

bool COffCycleCopyName::IsRandomText(const std::string& text) {
    if (text.size() != kRandomLength) return false;
    for (char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

std::string COffCycleCopyName::Compose(const std::string& sourcePath, const std::string& random) {
    const size_t slash = sourcePath.find_last_of("\\/");
    if (slash == std::string::npos || !IsRandomText(random)) return std::string();
    std::string stem, extension;
    SplitName(sourcePath.substr(slash + 1), stem, extension);
    return sourcePath.substr(0, slash + 1) + stem + kMarker + random + extension;
}

bool COffCycleCopyName::IsCopyNameOf(const std::string& source, const std::string& copy) {
    const size_t sourceSlash = source.find_last_of("\\/");
    const size_t copySlash = copy.find_last_of("\\/");
    if (sourceSlash == std::string::npos || copySlash == std::string::npos) return false;
    if (sourceSlash != copySlash || ::_strnicmp(source.c_str(), copy.c_str(), sourceSlash) != 0) return false;
    std::string stem, extension;
    SplitName(source.substr(sourceSlash + 1), stem, extension);
    const std::string copyName = copy.substr(copySlash + 1);
    const std::string prefix = stem + kMarker;
    if (copyName.size() != prefix.size() + kRandomLength + extension.size()) return false;
    if (::_strnicmp(copyName.c_str(), prefix.c_str(), prefix.size()) != 0) return false;
    if (!IsRandomText(copyName.substr(prefix.size(), kRandomLength))) return false;
    return ::_stricmp(copyName.c_str() + prefix.size() + kRandomLength, extension.c_str()) == 0;
}

}  // namespace tw
