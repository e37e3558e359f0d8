#include "logging/OSSupportGate.h"

#include <cstring>
#include <exception>

#include "common/Handles.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "logging/OSSupportMessage.h"
#include "logging/StatusLogMgr.h"
#include "sysinfo/OSInfo.h"

namespace tw {
namespace {

constexpr char kServerListHeader[] = "[OSList_Server]";
constexpr char kClientListHeader[] = "[OSList]";
constexpr char kListsEnd[] = "[Message_Block]";
constexpr char kBlockMessageHeader[] = "[Message_Block_Patch]";
constexpr char kNudgeMessageHeader[] = "[Message_Nudge_Patch]";
constexpr char kVerdictKey[] = "Block=";

// Replaces every occurrence of from by to; the scan goes on after each replacement.
void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

std::vector<std::string> NonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::string& line : SplitLines(text))
        if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

bool Contains(const std::vector<std::string>& list, const std::string& key) {
    for (const std::string& entry : list)
        if (entry == key) return true;
    return false;
}

// The part of a message line after its first "=", up to a further "=" if any.
std::string MessageTextOf(const std::string& line) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return std::string();
    const size_t end = line.find('=', eq + 1);
    return line.substr(eq + 1, end == std::string::npos ? std::string::npos : end - eq - 1);
}

}  // namespace

COSSupportGate::Evaluation COSSupportGate::Evaluate(const std::string& text, const std::string& windowsKey,
                                                    bool server, const std::string& displayName) {
    Evaluation result;
    std::vector<std::string> lines = NonEmptyLines(text);

    // The lists, from the text as sent.
    std::vector<std::string>* active = nullptr;
    for (const std::string& line : lines) {
        if (line == kServerListHeader) {
            active = &result.serverList;
            continue;
        }
        if (line == kClientListHeader) {
            active = &result.clientList;
            continue;
        }
        if (active) active->push_back(line);
        if (line == kListsEnd) break;
    }

    // Texts meant for client Windows read right on a server once these are replaced.
    if (server) {
        std::string replaced = text;
        ReplaceAll(replaced, "Windows 7", displayName);
        ReplaceAll(replaced, "Switch to Windows 10", "Learn more");
        ReplaceAll(replaced, "Windows 10", "latest Windows Server");
        lines = NonEmptyLines(replaced);
    }

    // The verdict is the value of the line that begins with "Block=".
    const std::string* verdictLine = nullptr;
    for (const std::string& line : lines) {
        if (line.compare(0, std::strlen(kVerdictKey), kVerdictKey) == 0) {
            verdictLine = &line;
            break;
        }
    }
    if (!verdictLine) {
        result.status = kNoVerdict;
        result.nudge = false;
        return result;
    }
    const std::string verdict = verdictLine->substr(std::strlen(kVerdictKey));

    const bool affected = server ? Contains(result.serverList, windowsKey) : Contains(result.clientList, windowsKey);
    const char* messageHeader = nullptr;
    if (verdict == "1") {
        result.status = affected ? kBlocked : kAllowed;
        if (affected) messageHeader = kBlockMessageHeader;
    } else if (verdict == "0") {
        result.status = affected ? kAllowedWithMessage : kAllowed;
        if (affected) messageHeader = kNudgeMessageHeader;
    } else if (verdict == "-1") {
        result.status = kAllowed;
    }
    // Any other verdict is unknown and leaves the status as it was.
    if (!messageHeader) return result;

    result.hasMessage = true;
    result.nudge = messageHeader == kNudgeMessageHeader;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != messageHeader) continue;
        for (size_t k = 0; k < 5 && i + 1 + k < lines.size(); ++k) result.texts[k] = MessageTextOf(lines[i + 1 + k]);
        break;
    }
    return result;
}

std::string COSSupportGate::VersionTextFrom(const WKSTA_INFO_100* info, const RTL_OSVERSIONINFOEXW& record) {
    if (info) return FormatString("%lu.%lu", info->wki100_ver_major, info->wki100_ver_minor);
    return FormatString("%lu.%lu", record.dwMajorVersion, record.dwMinorVersion);
}

std::string COSSupportGate::GetWindowsVersionText() {
    LPBYTE raw = nullptr;
    const NET_API_STATUS status = ::NetWkstaGetInfo(nullptr, 100, &raw);
    NetApiBuffer buffer(reinterpret_cast<LPVOID>(raw));
    RTL_OSVERSIONINFOEXW record;
    COSInfo::GetVersionRecord(record);
    if (status != NERR_Success) {
        LogStatusF("In COSSupportGate::GetWindowsVersionText, NetWkstaGetInfo failed with %lu.", status);
        return VersionTextFrom(nullptr, record);
    }
    return VersionTextFrom(reinterpret_cast<const WKSTA_INFO_100*>(raw), record);
}

std::string COSSupportGate::BuildWindowsKey(const std::string& versionText, bool windows10,
                                            const std::string& releaseId) {
    if (!windows10) return versionText;
    return "10.0_" + releaseId.substr(0, 4);
}

std::string COSSupportGate::GetReleaseId() {
    static const char kField[] = "OS_RELEASE_VERSION=";
    const std::string fields = COSInfo::GetReleaseEditionField();
    const size_t start = fields.find(kField);
    if (start == std::string::npos) return "NA";
    const size_t from = start + std::strlen(kField);
    const size_t end = fields.find('&', from);
    return fields.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string COSSupportGate::GetWindowsKey(const std::string& versionText) {
    return BuildWindowsKey(versionText, COSInfo::IsWindows10(), GetReleaseId());
}

std::string COSSupportGate::ServerNameOf(const RTL_OSVERSIONINFOEXW& record) {
    const bool server = record.wProductType == VER_NT_SERVER || record.wProductType == VER_NT_DOMAIN_CONTROLLER;
    if (!server || record.dwMajorVersion != 6 || record.dwMinorVersion > 1) return std::string();
    if (record.wSuiteMask & VER_SUITE_DATACENTER) return "WinServer2008_Datacenter";
    if (record.wSuiteMask & VER_SUITE_ENTERPRISE) return "WinServer2008_Enterprise";
    return "WinServer2008";
}

bool COSSupportGate::IsSmallBusinessServer2008(const RTL_OSVERSIONINFOEXW& record, DWORD productInfoType) {
    if (record.dwMajorVersion != 6 || record.dwMinorVersion > 1) return false;
    const bool smallBusiness = productInfoType == 9 || productInfoType == 25 || productInfoType == 38 ||
                               productInfoType == 50;
    return smallBusiness && !ServerNameOf(record).empty();
}

void COSSupportGate::Run(const char* versionText, const char* url) {
    Run(versionText, url, CSupportConfigDownload::Bounds());
}

void COSSupportGate::Run(const char* versionText, const char* url, const CSupportConfigDownload::Bounds& bounds) {
    try {
        m_versionText = versionText ? versionText : "";
        RTL_OSVERSIONINFOEXW record;
        COSInfo::GetVersionRecord(record);
        DWORD productInfoType = 0;
        ::GetProductInfo(record.dwMajorVersion, record.dwMinorVersion, record.wServicePackMajor,
                         record.wServicePackMinor, &productInfoType);
        if (IsSmallBusinessServer2008(record, productInfoType)) {
            m_status = kAllowed;
            return;
        }
        m_windowsKey = GetWindowsKey(m_versionText);
        std::string text, error;
        if (CSupportConfigDownload::Fetch(url, bounds, text, error) != CSupportConfigDownload::Result::kOk) {
            // No verdict is no warning either, whatever an earlier run of the gate left.
            m_status = kNoVerdict;
            CRunState::Get().gateAllowedWithMessage = false;
            return;
        }
        Apply(Evaluate(text, m_windowsKey, COSInfo::IsServer(), COSInfo::GetDisplayName()));
    } catch (const std::exception& e) {
        LogStatusF("In COSSupportGate::Run, exception: %s", e.what());
        m_status = kNoVerdict;
        CRunState::Get().gateAllowedWithMessage = false;
    } catch (...) {
        StatusLogMgr::LogStatus("In COSSupportGate::Run, unknown exception.");
        m_status = kNoVerdict;
        CRunState::Get().gateAllowedWithMessage = false;
    }
}

void COSSupportGate::Apply(const Evaluation& evaluation) {
    m_status = evaluation.status;
    m_clientList = evaluation.clientList;
    m_serverList = evaluation.serverList;
    if (evaluation.status == kNoVerdict) CRunState::Get().gateAllowedWithMessage = false;
    if (!evaluation.hasMessage) return;
    CRunState::Get().gateAllowedWithMessage = evaluation.nudge;
    COSSupportMessage& message = COSSupportMessage::Get();
    for (size_t i = 0; i < COSSupportMessage::kTextCount; ++i) message.SetText(i, evaluation.texts[i]);
}

}  // namespace tw
