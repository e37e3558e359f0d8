#pragma once
// A tracking sender that keeps every message instead of sending it. It installs itself for
// its lifetime with the tracking context cleared before and after (TrackingSenderScope);
// the sender it replaced comes back.

#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "logging/TrackingSender.h"

namespace twtest {

class TrackingRecorder : public tw::ITrackingSender {
public:
    TrackingRecorder() = default;
    TrackingRecorder(const TrackingRecorder&) = delete;
    TrackingRecorder& operator=(const TrackingRecorder&) = delete;

    bool Send(const tw::TrackingMessage& message) override;
    // Number of messages of the kind given whose text contains the part.
    size_t Count(const std::string& part, bool isError = true) const;

    std::vector<tw::TrackingMessage> messages;

private:
    TrackingSenderScope m_scope{this};
};

}  // namespace twtest
