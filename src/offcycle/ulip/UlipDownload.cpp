// Members of COffCycleFileSelector: connectivity and the cabinet download.
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

DWORD COffCycleFileSelector::CheckInternetConnection() {
    try {
        DWORD connected = TRUE;
        DWORD flags = 0;
        // Only the manager's answer that the machine is offline stops the download.
        if (SUCCEEDED(CNetworkConnectivity::Query(flags))) {
            if (flags == NLM_CONNECTIVITY_DISCONNECTED) {
                LogFormat("CheckInternetConnection(): no internet connection, con has NLM_CONNECTIVITY_DISCONNECTED");
                connected = FALSE;
            }
            if (!(flags & (NLM_CONNECTIVITY_IPV4_INTERNET | NLM_CONNECTIVITY_IPV6_INTERNET))) {
                LogFormat(
                    "CheckInternetConnection(): no internet connection, con has value other than "
                    "NLM_CONNECTIVITY_IPV4_INTERNET and NLM_CONNECTIVITY_IPV6_INTERNET");
                connected = FALSE;
            }
        }
        return connected;
    } catch (...) {
        LogFormat("CheckInternetConnection(): got an exception with GetLastError:  %d",
                  static_cast<int>(::GetLastError()));
        return FALSE;
    }
}

HRESULT COffCycleFileSelector::SendRequestAndGetResponse(const char* address, const char* targetPath) {
    if (!address) address = "";
    if (!targetPath) targetPath = "";
    LogFormat("Entered into SendRequestAndGetResponse");
    HRESULT hr = E_FAIL;
    if (CheckInternetConnection()) {
        CUrlDownload download(m_downloadTimeoutMs, m_downloadMaxBytes);
        hr = download.Download(address, targetPath);
        const int error = static_cast<int>(download.LastError());
        if (hr == S_OK)
            LogError("Successfully downloaded the  TWC from URL : %s  with GetLastError : %d", address, error);
        else if (hr == E_OUTOFMEMORY && !download.OverBound())
            LogError("Patch: Buffer length invalid, or insufficient memory with GetLastError :  %d", error);
        else if (hr == INET_E_DOWNLOAD_FAILURE && !download.OverBound())
            LogError("Patch: URL is invalid with GetLastError :  %d", error);
        else
            LogError("Failed downloading TWC file from URL : %s GetLastError : %d and ret : %x.", address, error,
                     static_cast<unsigned>(hr));
    }
    LogFormat("Exited from SendRequestAndGetResponse");
    return hr;
}

}  // namespace tw
