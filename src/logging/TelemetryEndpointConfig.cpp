#include "logging/TelemetryEndpointConfig.h"

#include <objbase.h>

#include <cstdio>

#include "common/ProductConstants.h"
#include "logging/BoundedHttpRequest.h"
#include "logging/FormEncoding.h"
#include "logging/XmlElementTree.h"

namespace tw {

namespace {

std::string& DefaultConfigUrl() {
    static std::string* url = new std::string(product::kTelemetryConfigUrl);  // lives until process end
    return *url;
}

bool IsSuccessStatus(DWORD status) { return status >= 200 && status < 300; }

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

bool IsSafeEndpoint(const TelemetryEndpointConfig::Endpoint& endpoint) {
    return !HasLineBreak(endpoint.host) && !HasLineBreak(endpoint.path) && !HasLineBreak(endpoint.header);
}

}  // namespace

TelemetryEndpointConfig::TelemetryEndpointConfig() : m_configUrl(DefaultConfigUrl()) {}

void TelemetryEndpointConfig::SetDefaultConfigUrl(const std::string& url) { DefaultConfigUrl() = url; }

std::string TelemetryEndpointConfig::GetDefaultConfigUrl() { return DefaultConfigUrl(); }

void TelemetryEndpointConfig::SetConfigUrl(const std::string& url) {
    Limits limits = m_limits;
    ResetEndpointConfig();
    m_configUrl = url;
    m_limits = limits;
}

void TelemetryEndpointConfig::ResetEndpointConfig() {
    m_errorEnabled = false;
    m_errorToken.clear();
    m_errorTest = Endpoint();
    m_errorProd = Endpoint();
    m_trackEnabled = false;
    m_trackToken.clear();
    m_trackTest = Endpoint();
    m_trackProd = Endpoint();
    m_killSwitchCheckActive = false;
    m_localConfigPath.clear();
    m_killSwitchClear = false;
    m_parseErrorChannel = false;
    m_parseTestEnvironment = false;
    m_configUrl = DefaultConfigUrl();
    m_loaded = false;
    m_limits = Limits();
    m_lastFailure.clear();
}

void TelemetryEndpointConfig::DisableBothChannels() {
    m_errorEnabled = false;
    m_trackEnabled = false;
}

TelemetryEndpointConfig::Endpoint& TelemetryEndpointConfig::CurrentEndpoint() {
    if (m_parseErrorChannel) return m_parseTestEnvironment ? m_errorTest : m_errorProd;
    return m_parseTestEnvironment ? m_trackTest : m_trackProd;
}

const TelemetryEndpointConfig::Endpoint& TelemetryEndpointConfig::GetEndpoint(bool errorChannel,
                                                                              const std::string& server) const {
    bool test = server == "PDS";
    if (errorChannel) return test ? m_errorTest : m_errorProd;
    return test ? m_trackTest : m_trackProd;
}

bool TelemetryEndpointConfig::LoadConfiguration() {
    m_loaded = true;
    BoundedHttpRequest::Bounds bounds = RequestBounds();
    bounds.deadlineMs = m_limits.configDeadlineMs;
    bounds.maxBytes = m_limits.configMaxBytes;
    BoundedHttpRequest::Outcome got = BoundedHttpRequest::Get(m_configUrl, "MyAgent", kConfigUrlFlags, 2000, bounds);
    const char* failure = got.ok ? nullptr : got.failure;
    // An error page is not the configuration (status 0: not an HTTP address).
    if (!failure && got.status != 0 && !IsSuccessStatus(got.status))
        failure = "the server answered with an error status";
    if (!failure && got.content.empty()) failure = "the configuration is empty";
    if (failure) {
        // Telemetry failures are not logged: they never concern the update.
        m_lastFailure = failure;
        DisableBothChannels();
        return false;
    }
    return ApplyConfiguration(got.content);
}

bool TelemetryEndpointConfig::ApplyConfiguration(const std::string& text) {
    XmlElement root;
    std::string error;
    if (!XmlElementTree::Parse(text, root, error)) {
        m_lastFailure = "the configuration was refused: " + error;
        DisableBothChannels();
        return false;
    }
    Walk(root);
    // A line break in a text that becomes part of the request (after the XML reader has
    // resolved references such as "&#13;&#10;") could add headers or split the request:
    // such a channel is not used.
    if (!IsSafeEndpoint(m_errorTest) || !IsSafeEndpoint(m_errorProd)) {
        m_lastFailure = "the error channel's endpoint holds a line break";
        m_errorEnabled = false;
    }
    if (!IsSafeEndpoint(m_trackTest) || !IsSafeEndpoint(m_trackProd)) {
        m_lastFailure = "the tracking channel's endpoint holds a line break";
        m_trackEnabled = false;
    }
    return true;
}

void TelemetryEndpointConfig::Walk(const XmlElement& element) {
    const std::string& name = element.name;
    const bool hasText = !element.text.empty();
    if (name == "LED") {
        m_parseErrorChannel = true;
    } else if (name == "Track") {
        m_parseErrorChannel = false;
    } else if (name == "perf") {
        m_parseTestEnvironment = true;
    } else if (name == "prod") {
        m_parseTestEnvironment = false;
    } else if (name == "enable") {
        if (hasText) CurrentEnabled() = element.text == "true";
    } else if (name == "token") {
        if (hasText) CurrentToken() = element.text;
    } else if (name == "loc") {
        if (hasText) CurrentEndpoint().host = element.text;
    } else if (name == "endpoint") {
        if (hasText) CurrentEndpoint().path = element.text;
    } else if (name == "header") {
        if (hasText) CurrentEndpoint().header = element.text;
    } else if (name == "KILL_SWITCH") {
        m_killSwitchClear = !element.attributes.empty() && element.attributes.front().second != "true";
        return;  // its children are not read
    }
    for (const XmlElement& child : element.children) Walk(child);
}

std::string TelemetryEndpointConfig::NewTransactionId() {
    GUID guid = {};
    CoCreateGuid(&guid);
    char buf[40];
    snprintf(buf, sizeof(buf), "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned long>(guid.Data1), static_cast<unsigned>(guid.Data2),
             static_cast<unsigned>(guid.Data3), static_cast<unsigned>(guid.Data4[0]),
             static_cast<unsigned>(guid.Data4[1]), static_cast<unsigned>(guid.Data4[2]),
             static_cast<unsigned>(guid.Data4[3]), static_cast<unsigned>(guid.Data4[4]),
             static_cast<unsigned>(guid.Data4[5]), static_cast<unsigned>(guid.Data4[6]),
             static_cast<unsigned>(guid.Data4[7]));
    return buf;
}

std::string TelemetryEndpointConfig::BuildBody(const TrackingMessage& message) const {
    std::string body;
    if (message.isError) {
        body = "appname=\"twdt\"&appcontext=\"led\"&scenario=\"\"&message=\"\"&messagetype=\"Error\"&token=";
        body += FormEncoding::EncodeValue(m_errorToken);
    } else {
        body = "appname=\"twdt\"&appcontext=\"InstallTracker\"&scenario=\"\"&message=\"\"&messagetype=\"Info\"&token=";
        body += FormEncoding::EncodeValue(m_trackToken);
    }
    body += "&tid=\"" + NewTransactionId() + "\"&ProjectName=\"TWDTInstaller\"&";
    body += FormEncoding::EncodeFieldList(message.osFields);
    // Each field's value is encoded as one value where the body is built: a message that
    // holds "\"& Country=\"CA" stays one message.
    for (const TrackingMessage::Field& field : message.fields)
        body += "& " + field.first + "=\"" + FormEncoding::EncodeValue(field.second) + "\"";
    return body;
}

BoundedHttpRequest::Bounds TelemetryEndpointConfig::RequestBounds() const {
    BoundedHttpRequest::Bounds bounds;
    bounds.connectTimeoutMs = m_limits.connectTimeoutMs;
    bounds.sendTimeoutMs = m_limits.sendTimeoutMs;
    bounds.receiveTimeoutMs = m_limits.receiveTimeoutMs;
    bounds.idleMs = m_limits.idleMs;
    return bounds;
}

TelemetryEndpointConfig::PostResult TelemetryEndpointConfig::Post(const Endpoint& endpoint,
                                                                  const std::string& body) const {
    BoundedHttpRequest::Bounds bounds = RequestBounds();
    bounds.deadlineMs = m_limits.postDeadlineMs;
    bounds.maxBytes = m_limits.replyMaxBytes;
    std::string headers = "Content-Type: application/x-www-form-urlencoded\r\n" + endpoint.header;
    BoundedHttpRequest::Outcome posted =
        BoundedHttpRequest::Post(endpoint.host, kPort, endpoint.path, kPostFlags, headers, body, 499, bounds);
    if (posted.ok && IsSuccessStatus(posted.status)) return PostResult::Sent;
    if (!posted.ok && BoundedHttpRequest::IsConnectionFailure(posted.error)) return PostResult::EndpointUnreachable;
    return PostResult::Failed;
}

bool TelemetryEndpointConfig::Send(const TrackingMessage& message) {
    if (!m_loaded) LoadConfiguration();
    if (m_killSwitchCheckActive && !m_killSwitchClear) return false;
    bool& enabled = message.isError ? m_errorEnabled : m_trackEnabled;
    if (!enabled) return false;
    const Endpoint& endpoint = GetEndpoint(message.isError, message.server);
    if (endpoint.host.empty()) return false;
    PostResult result = Post(endpoint, BuildBody(message));
    // One wait per unreachable endpoint: later messages of this run are not tried.
    if (result == PostResult::EndpointUnreachable) enabled = false;
    return result == PostResult::Sent;
}

}  // namespace tw
