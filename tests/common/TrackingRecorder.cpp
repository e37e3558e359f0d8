#include "TrackingRecorder.h"

namespace twtest {

bool TrackingRecorder::Send(const tw::TrackingMessage& message) {
    messages.push_back(message);
    return true;
}

size_t TrackingRecorder::Count(const std::string& part, bool isError) const {
    size_t n = 0;
    for (const auto& m : messages)
        if (m.isError == isError && m.text.find(part) != std::string::npos) ++n;
    return n;
}

}  // namespace twtest
