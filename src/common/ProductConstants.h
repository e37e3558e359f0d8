#pragma once
// The maker's fixed names and addresses. Every host lies under the reserved example domain,
// so no run of this program can reach somebody else's server. Components that talk to a
// host take its address as an argument; these are only the production defaults, so tests
// can point components at servers on 127.0.0.1.

namespace tw {
namespace product {

constexpr const char kMakerName[] = "Veltra";
constexpr const char kProductName[] = "Tallyworks";

// Windows Installer components of the installed product whose key file is the product
// program: the main one, and the one an alternate installation has instead.
constexpr const char kMainComponent[] = "{BE98D8DD-CEAD-4F03-8333-D9B96083B6F6}";
constexpr const char kAlternateComponent[] = "{D5557A3E-E81C-4C6F-A3FF-AC5A3FDA3D7B}";

// Registry branch of the installed product's data, below HKEY_LOCAL_MACHINE.
constexpr const char kRegistryBranch[] = "SOFTWARE\\Veltra\\Tallyworks";

// The maker's hosts.
constexpr const char kSupportHost[] = "support.tallyworks.example";
constexpr const char kContentDeliveryHost[] = "cdn.tallyworks.example";
constexpr const char kDownloadHost[] = "download.tallyworks.example";

// Page that failure texts send the user to.
constexpr const char kSupportPageUrl[] = "https://support.tallyworks.example/tallyworks/update";

// Telemetry endpoint configuration, on the content-delivery server. The doubled slashes
// are the server's own path form.
constexpr const char kTelemetryConfigUrl[] =
    "https://cdn.tallyworks.example//http.veltra//TWDT_Files//Splunk//SplunkConfig.xml";

// Operating-system support configuration on the download server, production and test.
constexpr const char kOsSupportConfigUrl[] =
    "https://download.tallyworks.example//http.veltra//Downloads//2020//Config_ini//config.ini";
constexpr const char kOsSupportConfigTestUrl[] =
    "https://download.tallyworks.example/http.veltra/Downloads/2020/Config_ini/Pre_Prod/config_test.ini";

// Base address of the ULIP common-file packages on the content-delivery server (plain
// HTTP; the package's signature is what is trusted). The country, "/ulip/", the major
// version and the rest of the path follow.
constexpr const char kUlipBaseUrl[] = "http://cdn.tallyworks.example/http.veltra/";

}  // namespace product
}  // namespace tw
