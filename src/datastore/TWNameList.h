#pragma once
// A list of narrow names, each in an allocation of its own, handed out as an array of
// pointers that stays valid until the list is cleared or destroyed.

#include <windows.h>

#include <memory>
#include <vector>

namespace tw {

class CTWNameList {
public:
    CTWNameList() = default;
    CTWNameList(const CTWNameList&) = delete;
    CTWNameList& operator=(const CTWNameList&) = delete;

    void Clear() noexcept {
        m_pointers.clear();
        m_names.clear();
    }
    // Makes room for count names; false when out of memory.
    bool Reserve(size_t count) noexcept;
    // Appends a copy of the first length characters of name; false when out of memory.
    bool Add(const char* name, size_t length) noexcept;

    DWORD Count() const noexcept { return static_cast<DWORD>(m_pointers.size()); }
    // Null when the list is empty.
    char** Data() noexcept { return m_pointers.empty() ? nullptr : m_pointers.data(); }
    const char* At(size_t index) const noexcept { return index < m_pointers.size() ? m_pointers[index] : nullptr; }

private:
    std::vector<std::unique_ptr<char[]>> m_names;
    std::vector<char*> m_pointers;
};

}  // namespace tw
