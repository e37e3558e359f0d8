#pragma once
// The maker's fixed names and addresses. Components that talk to a host take its address
// as an argument; these are only the production defaults, so tests can point components
// at servers on 127.0.0.1.

namespace tw {
namespace product {

constexpr const char kMakerName[] = "Veltra";
constexpr const char kProductName[] = "Tallyworks";

// Registry branch of the installed product's data, below HKEY_LOCAL_MACHINE.
constexpr const char kRegistryBranch[] = "SOFTWARE\\Veltra\\Tallyworks";

// Page that failure texts send the user to.
constexpr const char kSupportPageUrl[] = "https://support.veltra.com/tallyworks/update";

// Telemetry endpoint settings and the endpoints they name.
constexpr const char kTelemetryConfigUrl[] = "https://telemetry.veltra.com/tallyworks/endpoints.xml";
constexpr const char kTelemetryHost[] = "telemetry.veltra.com";
constexpr const char kTelemetryTestHost[] = "telemetry-test.veltra.com";

// Operating-system support configuration, production and test.
constexpr const char kOsSupportConfigUrl[] = "https://download.veltra.com/tallyworks/ossupport/config.xml";
constexpr const char kOsSupportConfigTestUrl[] =
    "https://download-test.veltra.com/tallyworks/ossupport/config.xml";

// Content delivery network of the ULIP common-file packages.
constexpr const char kUlipCdnBaseUrl[] = "https://cdn.veltra.com/tallyworks/ulip/";

}  // namespace product
}  // namespace tw
