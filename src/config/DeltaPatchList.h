#pragma once
// The ordered list of patch packages to apply: a singly linked list with a head, the entry
// added last and a tail. Entries are applied in list order.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tw {

class CDeltaPatchList {
public:
    struct Entry {
        std::string patchFile;     // full path of the MSP file
        std::string targetFolder;  // the product's installation folder
        uint32_t size = 0;         // bytes of the patch file when it was listed
        std::optional<std::string> reinstall;
        std::optional<std::string> reinstallMode;
        std::optional<std::string> cmdOptions;
        std::unique_ptr<Entry> next;
    };

    CDeltaPatchList() = default;
    ~CDeltaPatchList();
    CDeltaPatchList(const CDeltaPatchList&) = delete;
    CDeltaPatchList& operator=(const CDeltaPatchList&) = delete;

    // Appends an entry and makes it the entry added last.
    Entry& Append(const std::string& patchFile, const std::string& targetFolder, uint32_t size);

    // Number of entries and the sum of their sizes in bytes.
    unsigned Count() const;
    unsigned long long TotalSize() const;

    // Detaches the head entry and hands it to the caller; null when the list is empty.
    std::unique_ptr<Entry> TakeFirst();

    // The entry with this patch file and target folder (both compared without regard to
    // case); null when none.
    const Entry* Find(const std::string& patchFile, const std::string& targetFolder) const;

    // The entry added last (null when none yet, or when it has been taken).
    Entry* LastAdded() const { return m_lastAdded; }

    // Iteration: the head, then each entry's next.
    const Entry* Head() const { return m_head.get(); }

    bool Empty() const { return !m_head; }
    void Clear();

private:
    std::unique_ptr<Entry> m_head;
    Entry* m_lastAdded = nullptr;
    Entry* m_tail = nullptr;
};

}  // namespace tw
