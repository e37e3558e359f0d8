#include "logging/InstallTracker.h"

#include <cctype>

#include "common/ProcessState.h"

namespace tw {

namespace {

std::string Upper(const char* text) {
    std::string out = text ? text : "";
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Lower(const char* text) {
    std::string out = text ? text : "";
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string OrNA(const char* text) { return (text && *text) ? std::string(text) : std::string("NA"); }

}  // namespace

// The endpoint configuration is loaded when the tracker is first used, which is when the
// run hands it its context during initialisation: its wait never falls inside the Windows
// Installer callback, where the progress window would not be repainted.
InstallTracker& InstallTracker::Instance() {
    InstallTracker& tracker = Object();
    if (!tracker.IsConfigurationLoaded()) tracker.LoadConfiguration();
    return tracker;
}

InstallTracker& InstallTracker::Object() {
    static InstallTracker* tracker = new InstallTracker();  // lives until process end
    return *tracker;
}

InstallTracker::InstallTracker() : m_sender(this) { ResetContext(); }

namespace {
[[maybe_unused]] const bool g_resetRegistered = RegisterProcessStateReset(ProcessLayer::Logging, [] {
    InstallTracker& tracker = InstallTracker::Object();  // a reset loads nothing
    tracker.SetSender(nullptr);
    tracker.ResetContext();
    tracker.ResetEndpointConfig();
});
}  // namespace

void InstallTracker::ResetContext() {
    m_prevSlipStream = "NA";
    m_slipStream = "NA";
    m_country.clear();
    m_server.clear();
    m_sku.clear();
    m_majorVersion = "NA";
    m_osFields.clear();
}

bool InstallTracker::IsTrackingAllowed(const char* country, const char* server) {
    const std::string upperCountry = Upper(country), upperServer = Upper(server);
    return (upperCountry == "US" || upperCountry == "CA") &&
           (upperServer.empty() || upperServer == "PROD" || upperServer == "PDS");
}

void InstallTracker::SetPrevSlipStream(const char* levelText) { m_prevSlipStream = OrNA(levelText); }
void InstallTracker::SetSlipStream(const char* versionDigits) { m_slipStream = OrNA(versionDigits); }
void InstallTracker::SetCountry(const char* country) { m_country = Upper(country); }
void InstallTracker::SetServer(const char* server) { m_server = Upper(server); }

void InstallTracker::SetSKU(const char* reinstallValue) {
    m_sku = Lower(reinstallValue).find("kyv") != std::string::npos ? "CDKYV" : "CDSTD";
}

void InstallTracker::SetMajorVersion(int majorVersion) {
    m_majorVersion = majorVersion < 1 ? std::string("NA") : std::to_string(majorVersion);
}

void InstallTracker::SetOSFields(const std::string& fields) { m_osFields = fields; }

ITrackingSender* InstallTracker::SetSender(ITrackingSender* sender) {
    ITrackingSender* previous = m_sender;
    m_sender = sender ? sender : this;
    return previous;
}

bool InstallTracker::BuildMessage(const char* text, bool isError,
                                  const std::vector<TrackingMessage::Field>& extraFields, TrackingMessage& out) const {
    out = TrackingMessage();
    if (!IsTrackingAllowed(m_country.c_str(), m_server.c_str())) return false;

    // Slip streams stored empty by any path still go out as "NA".
    const std::string slipStream = m_slipStream.empty() ? std::string("NA") : m_slipStream;
    const std::string prevSlipStream = m_prevSlipStream.empty() ? std::string("NA") : m_prevSlipStream;

    out.fields.emplace_back(isError ? "ErrorMessage" : "TrackingMessage", text ? text : "");
    for (const TrackingMessage::Field& field : extraFields) out.fields.push_back(field);
    out.fields.emplace_back("SlipStream", slipStream);
    out.fields.emplace_back("PrevSlipStream", prevSlipStream);
    out.fields.emplace_back("MajorVer", m_majorVersion);
    out.fields.emplace_back("SKU", m_sku);
    out.fields.emplace_back("Country", m_country);
    for (size_t i = 0; i < out.fields.size(); ++i) {
        out.text += i == 0 ? "& " : "\"& ";
        out.text += out.fields[i].first + "=\"" + out.fields[i].second;
    }
    out.text += "\"";
    out.isError = isError;
    out.server = m_server;
    out.osFields = m_osFields;
    return true;
}

bool InstallTracker::BuildMessageText(const char* text, bool isError, std::string& out) const {
    TrackingMessage message;
    const bool built = BuildMessage(text, isError, {}, message);
    out = message.text;
    return built;
}

void InstallTracker::SendTrackingMessage(unsigned errorNumber, const char* text, bool isError) {
    SendTrackingMessage(errorNumber, text, isError, {});
}

void InstallTracker::SendTrackingMessage(unsigned /*errorNumber*/, const char* text, bool isError,
                                         const std::vector<TrackingMessage::Field>& extraFields) {
    TrackingMessage message;
    if (!BuildMessage(text, isError, extraFields, message)) return;
    m_sender->Send(message);  // a failed send is dropped: telemetry never affects the update
}

}  // namespace tw
