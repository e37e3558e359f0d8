#include "logging/OSSupportMessage.h"

#include "common/ProcessState.h"

namespace tw {

COSSupportMessage& COSSupportMessage::Get() {
    static COSSupportMessage message;
    return message;
}

namespace {
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::Logging, [] { COSSupportMessage::Get().Clear(); });
}  // namespace

const std::string& COSSupportMessage::Text(size_t index) const {
    static const std::string empty;
    return index < kTextCount ? m_texts[index] : empty;
}

void COSSupportMessage::SetText(size_t index, const std::string& text) {
    if (index < kTextCount) m_texts[index] = text;
}

void COSSupportMessage::Clear() {
    for (std::string& text : m_texts) text.clear();
}

}  // namespace tw
