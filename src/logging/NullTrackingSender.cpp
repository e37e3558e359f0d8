#include "logging/NullTrackingSender.h"

namespace tw {

bool NullTrackingSender::Send(const TrackingMessage& /*message*/) { return false; }

}  // namespace tw
