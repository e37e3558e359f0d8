#pragma once
// Process-wide builder of the run's tracking messages. It keeps the context of the run and
// hands each message text to the telemetry sender.
//
// PLACEHOLDER: only the send entry point exists so far; the context fields, the message
// text and the sender come with the status-record and tracking work. Until then nothing is
// sent.

namespace tw {

class InstallTracker {
public:
    static InstallTracker& Instance();

    // Sends one message; isError selects the error channel. errorNumber is accepted but
    // not placed in the text.
    void SendTrackingMessage(unsigned errorNumber, const char* text, bool isError);

private:
    InstallTracker() = default;
};

}  // namespace tw
