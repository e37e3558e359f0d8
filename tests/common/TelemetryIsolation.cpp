// Linked into every test program that has the tracking sender: the endpoint configuration
// address points at a loopback port where nothing listens, so a message that reaches the
// built-in sender fails its configuration load at once and disables telemetry for the
// test, and no test program ever asks the maker's host. Tests of the sender set their own
// address.

#include "logging/InstallTracker.h"
#include "logging/TelemetryEndpointConfig.h"

namespace {

[[maybe_unused]] const bool g_telemetryIsolated = [] {
    tw::TelemetryEndpointConfig::SetDefaultConfigUrl("https://127.0.0.1:9/no-telemetry-in-tests.xml");
    tw::InstallTracker::Object().ResetEndpointConfig();  // nothing loaded yet
    return true;
}();

}  // namespace
