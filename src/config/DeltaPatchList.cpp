#include "config/DeltaPatchList.h"

#include <cstring>

namespace tw {

CDeltaPatchList::~CDeltaPatchList() { Clear(); }

void CDeltaPatchList::Clear() {
    // Unlinks entry by entry so a long list is not destroyed by deep recursion.
    while (m_head) m_head = std::move(m_head->next);
    m_lastAdded = nullptr;
    m_tail = nullptr;
}

CDeltaPatchList::Entry& CDeltaPatchList::Append(const std::string& patchFile, const std::string& targetFolder,
                                                uint32_t size) {
    auto entry = std::make_unique<Entry>();
    entry->patchFile = patchFile;
    entry->targetFolder = targetFolder;
    entry->size = size;
    Entry* raw = entry.get();
    if (m_tail)
        m_tail->next = std::move(entry);
    else
        m_head = std::move(entry);
    m_tail = raw;
    m_lastAdded = raw;
    return *raw;
}

unsigned CDeltaPatchList::Count() const {
    unsigned n = 0;
    for (const Entry* e = m_head.get(); e; e = e->next.get()) ++n;
    return n;
}

unsigned long long CDeltaPatchList::TotalSize() const {
    unsigned long long total = 0;
    for (const Entry* e = m_head.get(); e; e = e->next.get()) total += e->size;
    return total;
}

std::unique_ptr<CDeltaPatchList::Entry> CDeltaPatchList::TakeFirst() {
    if (!m_head) return nullptr;
    std::unique_ptr<Entry> first = std::move(m_head);
    m_head = std::move(first->next);
    if (m_lastAdded == first.get()) m_lastAdded = nullptr;
    if (!m_head) m_tail = nullptr;
    return first;
}

const CDeltaPatchList::Entry* CDeltaPatchList::Find(const std::string& patchFile,
                                                    const std::string& targetFolder) const {
    for (const Entry* e = m_head.get(); e; e = e->next.get()) {
        if (_stricmp(e->patchFile.c_str(), patchFile.c_str()) == 0 &&
            _stricmp(e->targetFolder.c_str(), targetFolder.c_str()) == 0)
            return e;
    }
    return nullptr;
}

}  // namespace tw
