#pragma once
// Stand-in for the telemetry endpoint sender until that sender exists: it drops every
// message and reports it as not sent.

#include "logging/TrackingSender.h"

namespace tw {

class NullTrackingSender : public ITrackingSender {
public:
    bool Send(const TrackingMessage& message) override;
};

}  // namespace tw
