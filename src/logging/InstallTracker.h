#pragma once
// Process-wide builder of the run's tracking messages. It keeps the context of the run
// (slip streams, country, server, SKU, major version, operating-system fields) and hands
// each message text to the tracking sender. Its base is the telemetry endpoint sender,
// which is the built-in sender.

#include <string>
#include <vector>

#include "logging/TelemetryEndpointConfig.h"
#include "logging/TrackingSender.h"

namespace tw {

class InstallTracker : public TelemetryEndpointConfig {
public:
    // The process's tracker. Its first use (and the first after ResetEndpointConfig) loads
    // the endpoint configuration.
    static InstallTracker& Instance();

    // Sends one message; isError selects the error channel. errorNumber is accepted but
    // not placed in the text. Nothing is sent unless the country is "US" or "CA" and the
    // server is empty, "PROD" or "PDS".
    void SendTrackingMessage(unsigned errorNumber, const char* text, bool isError);
    // The same with fields of the caller's own after the message (" InstallType=" and the
    // like). Every text is one value: nothing inside a message or a field value can end it
    // or add a field.
    void SendTrackingMessage(unsigned errorNumber, const char* text, bool isError,
                             const std::vector<TrackingMessage::Field>& extraFields);

    // The rule that silences a run's tracking: messages go out only when the country of
    // patch.ini is "US" or "CA" and its server empty, "PROD" or "PDS" (letter case ignored).
    static bool IsTrackingAllowed(const char* country, const char* server);

    // The message handed to the sender: its fields (the message, the caller's fields, the
    // context), and their joined text; false when the country or server rule suppresses it.
    bool BuildMessage(const char* text, bool isError, const std::vector<TrackingMessage::Field>& extraFields,
                      TrackingMessage& out) const;
    // The joined text alone.
    bool BuildMessageText(const char* text, bool isError, std::string& out) const;

    // Context of the run. Empty slip streams become "NA"; country and server are stored
    // upper-cased.
    void SetPrevSlipStream(const char* levelText);
    void SetSlipStream(const char* versionDigits);
    void SetCountry(const char* country);
    void SetServer(const char* server);
    // "CDKYV" when the lower-cased reinstall value contains "kyv", else "CDSTD".
    void SetSKU(const char* reinstallValue);
    // Decimal text; "NA" when below 1.
    void SetMajorVersion(int majorVersion);
    // The operating-system fields of the messages (COSInfo::GetTrackingFields()).
    void SetOSFields(const std::string& fields);

    const std::string& GetPrevSlipStream() const { return m_prevSlipStream; }
    const std::string& GetSlipStream() const { return m_slipStream; }
    const std::string& GetCountry() const { return m_country; }
    const std::string& GetServer() const { return m_server; }
    const std::string& GetSKU() const { return m_sku; }
    const std::string& GetMajorVersion() const { return m_majorVersion; }
    const std::string& GetOSFields() const { return m_osFields; }

    // Installs the sender that receives the messages (not owned); null puts back the
    // built-in one (the endpoint sender this object is). Returns the previous sender.
    ITrackingSender* SetSender(ITrackingSender* sender);

    // Clears the context as at process start.
    void ResetContext();

    // The same object without loading anything (for the process-state reset).
    static InstallTracker& Object();

private:
    InstallTracker();

    std::string m_prevSlipStream;
    std::string m_slipStream;
    std::string m_country;
    std::string m_server;
    std::string m_sku;
    std::string m_majorVersion;
    std::string m_osFields;
    ITrackingSender* m_sender;
};

}  // namespace tw
