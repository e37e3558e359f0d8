#pragma once
// The operating-system support gate: asks the maker's support configuration whether the
// update may run on this Windows, and leaves a status and, for a warning or a block, the
// message texts (COSSupportMessage) and the nudge flag (CRunState) for the caller to act on.
// The evaluation of the configuration text is a pure function; Run adds the probes and the
// download.

#include <windows.h>
#include <lm.h>

#include <cstdint>
#include <string>
#include <vector>

#include "logging/SupportConfigDownload.h"

namespace tw {

class COSSupportGate {
public:
    enum Status : int32_t {
        kAllowed = 0,
        kAllowedWithMessage = 1,
        kBlocked = 2,
        kNoVerdict = 3,  // offline, file missing or unreadable
    };

    // What one configuration text says for one Windows.
    struct Evaluation {
        int32_t status = kAllowed;
        std::vector<std::string> clientList;  // lines of [OSList]
        std::vector<std::string> serverList;  // lines of [OSList_Server]
        bool hasMessage = false;
        bool nudge = false;  // the message is a warning that lets the update go on
        std::string texts[5];  // heading, texts 1 to 4
    };

    // Evaluates the configuration text for a Windows key ("6.1", "10.0_1909") on a client
    // or server Windows; displayName replaces "Windows 7" in the texts on a server.
    static Evaluation Evaluate(const std::string& text, const std::string& windowsKey, bool server,
                               const std::string& displayName);

    // "%d.%d" of the major and minor version NetWkstaGetInfo (level 100) reports; when it
    // fails, the numbers of the process's version record.
    static std::string GetWindowsVersionText();
    // The text from NetWkstaGetInfo's answer (null when the call failed), else the record.
    static std::string VersionTextFrom(const WKSTA_INFO_100* info, const RTL_OSVERSIONINFOEXW& record);

    // The key the configuration lists Windows by: the version text, except on Windows 10,
    // where it is "10.0_" and the four characters of the release identifier.
    static std::string BuildWindowsKey(const std::string& versionText, bool windows10, const std::string& releaseId);
    static std::string GetWindowsKey(const std::string& versionText);
    // The "ReleaseId" of this Windows ("NA" when unknown).
    static std::string GetReleaseId();

    // A Small Business Server of the Windows Server 2008 family (6.0 or 6.1): it is never
    // held by the gate.
    static bool IsSmallBusinessServer2008(const RTL_OSVERSIONINFOEXW& record, DWORD productInfoType);
    // "WinServer2008", "WinServer2008_Enterprise" or "WinServer2008_Datacenter" for a server of
    // Windows 6.0 or 6.1; empty otherwise.
    static std::string ServerNameOf(const RTL_OSVERSIONINFOEXW& record);

    // Runs the gate against the configuration at url (https). Never fails: whatever goes
    // wrong ends in status 3.
    void Run(const char* versionText, const char* url);
    void Run(const char* versionText, const char* url, const CSupportConfigDownload::Bounds& bounds);

    int32_t GetStatus() const { return m_status; }
    const std::string& GetVersionText() const { return m_versionText; }
    const std::string& GetWindowsKeyUsed() const { return m_windowsKey; }
    const std::vector<std::string>& GetClientList() const { return m_clientList; }
    const std::vector<std::string>& GetServerList() const { return m_serverList; }

private:
    void Apply(const Evaluation& evaluation);

    std::string m_versionText;
    std::string m_windowsKey;
    int32_t m_status = kAllowed;
    std::vector<std::string> m_clientList;
    std::vector<std::string> m_serverList;
};

}  // namespace tw
