#pragma once
// Where tracking messages go and how they get there. The endpoint configuration (per
// channel and environment: host, path, extra header, token, enabled) is an XML document on
// the content-delivery server, downloaded once per process when the tracking object is first
// used (InstallTracker::Instance); each message is then posted as one form body over HTTPS.
//
// Every request is bounded (time-outs per connect/send/receive, an overall deadline and a
// size cap on what is read), and a channel whose endpoint cannot be reached at all is
// disabled after the first failure, so telemetry can never hold an update for long. No
// failure is written to the patch log (LastFailure() keeps the last one's reason).

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

#include "logging/BoundedHttpRequest.h"
#include "logging/TrackingSender.h"

namespace tw {

struct XmlElement;

class TelemetryEndpointConfig : public ITrackingSender {
public:
    struct Endpoint {
        std::string host;
        std::string path;
        std::string header;
    };

    // Bounds of the requests.
    struct Limits {
        DWORD connectTimeoutMs = 8000;
        DWORD sendTimeoutMs = 8000;
        DWORD receiveTimeoutMs = 8000;
        DWORD idleMs = 8000;                // less than 1 KiB in this time: the server has stalled
        DWORD configDeadlineMs = 10000;     // the whole configuration download
        size_t configMaxBytes = 64 * 1024;  // a larger configuration is a failed download
        DWORD postDeadlineMs = 10000;       // one post, from connecting to the end of the reply
        size_t replyMaxBytes = 16 * 1024;   // a longer reply to a post fails that post
    };

    // How a post ended.
    enum class PostResult {
        Sent,                // the server answered 2xx
        Failed,              // refused, too long an answer, or a local failure
        EndpointUnreachable  // time-out or deadline, unknown host, refused, TLS failure, connection lost
    };

    static constexpr INTERNET_PORT kPort = 443;
    static constexpr DWORD kConfigUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000
    static constexpr DWORD kPostFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_COOKIES;           // 0x880000

    TelemetryEndpointConfig();
    ~TelemetryEndpointConfig() override = default;
    TelemetryEndpointConfig(const TelemetryEndpointConfig&) = delete;
    TelemetryEndpointConfig& operator=(const TelemetryEndpointConfig&) = delete;

    // Posts one message on its channel; the configuration is loaded first when this
    // process has not loaded it yet. True when the server accepted it.
    bool Send(const TrackingMessage& message) override;

    // The configuration's address. Setting it forgets a loaded configuration (the bounds
    // stay).
    void SetConfigUrl(const std::string& url);
    const std::string& GetConfigUrl() const { return m_configUrl; }
    // The address used by every new object and after ResetEndpointConfig (the product's own
    // unless changed; test programs point it at loopback).
    static void SetDefaultConfigUrl(const std::string& url);
    static std::string GetDefaultConfigUrl();

    void SetLimits(const Limits& limits) { m_limits = limits; }
    const Limits& GetLimits() const { return m_limits; }

    // Back to the state of a new object: all fields cleared, nothing loaded, the default
    // address and bounds.
    void ResetEndpointConfig();

    // Downloads and applies the configuration (done by the first Send). False when the
    // download or the parse failed; both channels are disabled then.
    bool LoadConfiguration();
    bool IsConfigurationLoaded() const { return m_loaded; }

    // Parses a configuration text and walks it; a text that does not parse disables both
    // channels, and a channel whose host, path or header holds a CR or LF is disabled.
    // Returns whether it parsed.
    bool ApplyConfiguration(const std::string& text);

    // The form body of one message: the application fields of its channel, a new
    // transaction id, the operating-system fields and the message's fields, every value
    // form-encoded (names, "=", "&" and the quotes around values stay).
    std::string BuildBody(const TrackingMessage& message) const;
    // A new transaction id: a GUID in upper-case hexadecimal, without braces.
    static std::string NewTransactionId();

    // One HTTPS POST to host:443 within the bounds.
    PostResult Post(const Endpoint& endpoint, const std::string& body) const;

    bool IsErrorChannelEnabled() const { return m_errorEnabled; }
    bool IsTrackingChannelEnabled() const { return m_trackEnabled; }
    const std::string& GetErrorToken() const { return m_errorToken; }
    const std::string& GetTrackingToken() const { return m_trackToken; }
    // The endpoint of a channel for a server value ("PDS": test environment, others:
    // production).
    const Endpoint& GetEndpoint(bool errorChannel, const std::string& server) const;
    bool IsKillSwitchClear() const { return m_killSwitchClear; }
    // Why the last load, parse or channel failed; kept for diagnosis, never logged.
    const std::string& LastFailure() const { return m_lastFailure; }

private:
    BoundedHttpRequest::Bounds RequestBounds() const;
    void DisableBothChannels();
    void Walk(const XmlElement& element);
    bool& CurrentEnabled() { return m_parseErrorChannel ? m_errorEnabled : m_trackEnabled; }
    std::string& CurrentToken() { return m_parseErrorChannel ? m_errorToken : m_trackToken; }
    Endpoint& CurrentEndpoint();

    // Fields of the endpoint settings.
    bool m_errorEnabled = false;
    std::string m_errorToken;
    Endpoint m_errorTest;
    Endpoint m_errorProd;
    bool m_trackEnabled = false;
    std::string m_trackToken;
    Endpoint m_trackTest;
    Endpoint m_trackProd;
    bool m_killSwitchCheckActive = false;
    std::string m_localConfigPath;
    bool m_killSwitchClear = false;
    bool m_parseErrorChannel = false;
    bool m_parseTestEnvironment = false;

    // Loading.
    std::string m_configUrl;
    bool m_loaded = false;
    Limits m_limits;
    std::string m_lastFailure;
};

}  // namespace tw
