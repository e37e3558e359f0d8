// Members of COffCycleFileSelector: the release cabinet: signature and unpacking.
#include "offcycle/OffCycleFileSelector.h"

#include <io.h>
#include <objbase.h>
#include <netlistmgr.h>
#include <urlmon.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/Handles.h"
#include "common/PathUtil.h"
#include "common/ProductConstants.h"
#include "common/TextUtil.h"
#include "logging/InstallTracker.h"
#include "offcycle/ErrorText.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/MsxmlGuids.h"
#include "offcycle/WideText.h"
#include "offcycle/ulip/CabinetSignature.h"
#include "offcycle/ulip/CabinetUnpacker.h"
#include "offcycle/ulip/NetworkConnectivity.h"
#include "offcycle/ulip/UlipPathRules.h"
#include "offcycle/ulip/UlipRestoreHelpers.h"
#include "offcycle/ulip/UlipVersionText.h"

namespace tw {

using namespace ulip;

void COffCycleFileSelector::SetDownloadLimits(DWORD timeoutMs, ULONGLONG maxBytes) {
    m_downloadTimeoutMs = timeoutMs;
    m_downloadMaxBytes = maxBytes;
}

bool COffCycleFileSelector::VerifyTwcSignature(const char* cabinetPath) {
    try {
        // The cabinet stays open, without write or delete sharing, until its unpacking ends:
        // the signature is checked, and the cabinet later unpacked, through this one handle.
        if (!m_cabinet.Open(cabinetPath)) {
            CCabinetSignature::RevokeProcessTrust();
            return false;
        }
        if (CCabinetSignature::VerifyTrust(m_cabinet.Handle(), cabinetPath) != 0)
            CCabinetSignature::RevokeProcessTrust();
        std::string signer;
        const bool confirmed = CCabinetSignature::ReadSignerName(m_cabinet.Handle(), cabinetPath, signer) &&
                               CCabinetSignature::IsMakerName(signer.c_str());
        if (!confirmed) CCabinetSignature::RevokeProcessTrust();
        const bool intact = confirmed && CCabinetSignature::ProcessTrusted();
        if (!intact) m_cabinet.Release();
        return intact;
    } catch (...) {
        m_cabinet.Release();
        CCabinetSignature::RevokeProcessTrust();
        return false;
    }
}

HRESULT COffCycleFileSelector::ExtractFromTwcFile(const char* cabinetPath) {
    if (!cabinetPath) cabinetPath = "";
    LogFormat("Entered ExtractFromTwcFile() with twc path : %s", cabinetPath);
    // The folder of the cabinet with its backslash; a path too long for it unpacks nowhere.
    m_destinationFolder[0] = '\0';
    if (const char* slash = std::strrchr(cabinetPath, '\\')) {
        const size_t length = static_cast<size_t>(slash - cabinetPath) + 1;
        if (length < sizeof(m_destinationFolder)) {
            std::memcpy(m_destinationFolder, cabinetPath, length);
            m_destinationFolder[length] = '\0';
        }
    }
    bool extracted = false;
    try {
        extracted = ExtractTwcThroughFDI(cabinetPath);
    } catch (...) {
        extracted = false;
    }
    const DWORD error = ::GetLastError();
    m_cabinet.Release();
    if (!extracted) {
        LogError("Patch: ExtractTwcThroughFDI() failed, GetLastError(): returned %d", static_cast<int>(error));
        return E_FAIL;
    }
    LogFormat("ExtractTwcThroughFDI() was successful, GetLastError(): returned %d", static_cast<int>(error));
    return S_OK;
}

bool COffCycleFileSelector::ExtractTwcThroughFDI(const char* cabinetPath) {
    // Files are created only through the verified destination folder, held from here until
    // the staging is cleaned up.
    if (!m_staging.IsOpen() ||
        ::_stricmp(m_staging.Path().c_str(), (CVerifiedFolder::FullPath(m_destinationFolder) + "\\").c_str()) != 0) {
        if (m_destinationFolder[0] != '\0' && !m_staging.Open(m_destinationFolder)) {
            const DWORD error = ::GetLastError();
            LogFormat("In COffCycleFileSelector::ExtractTwcThroughFDI, %s is not a folder of its own, refused",
                      m_destinationFolder);
            ::SetLastError(error);
        }
    }
    CCabinetUnpacker unpacker(m_cabinet, m_destinationFolder, m_staging, m_heldFiles);
    const CCabinetUnpacker::Stage stage = unpacker.Run(cabinetPath);
    const int error = static_cast<int>(::GetLastError());
    switch (stage) {
        case CCabinetUnpacker::Stage::Done:
            return true;
        case CCabinetUnpacker::Stage::Create:
            LogError(
                "Patch: FDICreate() returned NULL in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): "
                "returned %d",
                error);
            break;
        case CCabinetUnpacker::Stage::Open:
            LogError(
                "Patch: file_open() returned -1 in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): "
                "returned %d",
                error);
            break;
        case CCabinetUnpacker::Stage::NotCabinet:
            LogError(
                "Patch: FDIIsCabinet() returned FALSE in COffCycleFileSelector::ExtractTwcThroughFDI(), "
                "GetLastError(): returned %d",
                error);
            break;
        case CCabinetUnpacker::Stage::Copy:
            if (!unpacker.RefusedEntry().empty())
                LogFormat("In COffCycleFileSelector::ExtractTwcThroughFDI, refused the cabinet entry \"%s\"",
                          unpacker.RefusedEntry().c_str());
            LogError(
                "Patch: FDICopy() returned FALSE in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): "
                "returned %d",
                error);
            break;
        case CCabinetUnpacker::Stage::Destroy:
            LogError(
                "Patch: FDIDestroy() returned FALSE in COffCycleFileSelector::ExtractTwcThroughFDI(), "
                "GetLastError(): returned %d",
                error);
            break;
    }
    ::SetLastError(static_cast<DWORD>(error));
    return false;
}

void COffCycleFileSelector::ReleaseHeldFile(const char* path) { m_heldFiles.Release(path); }

void COffCycleFileSelector::ReleaseHeldFiles() {
    m_heldFiles.ReleaseAll();
    m_cabinet.Release();
    m_staging.Close();
}

}  // namespace tw
