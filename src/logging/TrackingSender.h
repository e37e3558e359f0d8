#pragma once
// The channel through which a finished tracking message leaves the process. The telemetry
// endpoint sender implements it; tests install a recording one.

#include <string>
#include <utility>
#include <vector>

namespace tw {

// One tracking message as the sender receives it.
struct TrackingMessage {
    using Field = std::pair<std::string, std::string>;  // name, value (as it is, not encoded)

    std::string text;           // the message text with the run's context fields, joined for reading
    std::vector<Field> fields;  // the same fields one by one: what the body is built from
    bool isError = false;       // error channel when true, tracking channel otherwise
    std::string server;         // the run's server value ("", "PROD" or "PDS"): chooses the environment
    std::string osFields;       // the operating-system fields, placed before the text in the body
};

class ITrackingSender {
public:
    virtual ~ITrackingSender() = default;
    // Posts one message; true when it was sent.
    virtual bool Send(const TrackingMessage& message) = 0;
};

}  // namespace tw
