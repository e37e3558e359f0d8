#include "offcycle/ulip/UlipPathRules.h"

#include "common/PathRules.h"

namespace tw {

bool CUlipPathRules::IsSafeName(const std::string& name) { return CPathRules::IsSafeName(name); }

bool CUlipPathRules::IsSafeRelativePath(const std::string& text) { return CPathRules::IsSafeRelativePath(text); }

bool CUlipPathRules::IsInsideFolder(const std::string& folder, const std::string& path) {
    return CPathRules::IsInsideFolder(folder, path);
}

std::string CUlipPathRules::NameOf(const std::string& path) {
    const size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool CUlipPathRules::CutExtension(std::string& text) {
    const size_t slash = text.find_last_of('\\');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = text.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return false;
    text.resize(dot);
    return true;
}

unsigned long CUlipPathRules::EntryAttributes(const std::string& path) { return CPathRules::EntryAttributes(path); }

bool CUlipPathRules::IsReparsePoint(const std::string& path) { return CPathRules::IsReparsePoint(path); }

}  // namespace tw
