#include "datastore/TWNameList.h"

#include <cstring>
#include <new>

namespace tw {

bool CTWNameList::Reserve(size_t count) noexcept {
    try {
        m_names.reserve(count);
        m_pointers.reserve(count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CTWNameList::Add(const char* name, size_t length) noexcept {
    try {
        std::unique_ptr<char[]> copy(new char[length + 1]);
        if (length) std::memcpy(copy.get(), name, length);
        copy[length] = '\0';
        m_names.reserve(m_names.size() + 1);
        m_pointers.reserve(m_pointers.size() + 1);
        m_pointers.push_back(copy.get());
        m_names.push_back(std::move(copy));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace tw
