#pragma once
// The process-wide texts of the operating-system support message: the heading and texts 1
// to 4 that the gate found (or the offline notice), read by the message dialog. The flags
// that go with them (nudge, user-closed, dismissed, offline) are run flags in CRunState.

#include <cstddef>
#include <string>

namespace tw {

class COSSupportMessage {
public:
    static constexpr size_t kTextCount = 5;  // heading, texts 1 to 4
    enum Index : size_t { kHeading = 0, kText1, kText2, kText3, kText4 };

    static COSSupportMessage& Get();

    const std::string& Text(size_t index) const;
    void SetText(size_t index, const std::string& text);
    void Clear();

private:
    std::string m_texts[kTextCount];
};

}  // namespace tw
