#include "app/MsiResultTable.h"

// PLACEHOLDER: the rows come with the message handler.

namespace tw {

const CMsiResultTable::Row* CMsiResultTable::Find(uint32_t) { return nullptr; }

const CMsiResultTable::Row* CMsiResultTable::Rows(size_t* count) {
    if (count) *count = 0;
    return nullptr;
}

std::string CMsiResultTable::UserText(const Row&, uint32_t) { return std::string(); }

}  // namespace tw
