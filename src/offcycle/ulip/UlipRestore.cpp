// Members of COffCycleFileSelector: the ULIP restore: its steps, the release address and the country.
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

HRESULT COffCycleFileSelector::RestoreULIPFiles(const char* /*triggerPath*/, const char* installDir,
                                                const char* commonDataDir) {
    if (!installDir) installDir = "";
    if (!commonDataDir) commonDataDir = "";
    try {
        RestoreULIPSteps(installDir, commonDataDir);
    } catch (...) {
        LogError("Patch: Got exception into method RestoreULIPFiles with GetLastError : %d",
                 static_cast<int>(::GetLastError()));
    }
    ReleaseHeldFiles();
    LogFormat("ULIP logic completed.");
    return S_OK;
}

void COffCycleFileSelector::RestoreULIPSteps(const char* installDir, const char* commonDataDir) {
    LogFormat("Restoring ULIP files...");

    std::string major, slipstream;
    const std::string executable = std::string(installDir) + "\\TWW.EXE";
    if (FAILED(GetTWMajorMinorVersion(executable.c_str(), major, slipstream))) {
        LogError("Patch: Failed to read TW major minor version with GetLastError : %d",
                 static_cast<int>(::GetLastError()));
        return;
    }

    std::string address;
    if (!GetURL(major, slipstream, address)) {
        LogFormat("Failed to form Akami URL");
        return;
    }

    // Staged where only administrators can write, made fresh by this run: nothing a standard
    // user put there before or during the download is ever used.
    std::string path;
    if (!StagingRoot(path)) {
        LogError("Patch: Failed to read Raoming directory with GetLastError: %d", static_cast<int>(::GetLastError()));
        return;
    }

    const std::string country = GetTWCountry();
    if (country.empty()) {
        LogError("Patch: Failed to read Country information from patch.ini, the country value is empty");
        return;
    }

    if (FAILED(CreateDirectoryStructure(path, major, slipstream, country))) {
        LogError("Patch: Failed to create directory structure under roaming folder with GetLastError :  %d",
                 static_cast<int>(::GetLastError()));
        return;
    }

    const std::string cabinet = path + "original.twc";
    if (SendRequestAndGetResponse(address.c_str(), cabinet.c_str()) != S_OK) {
        LogError("Patch: Failed to download and save the file at SendRequestAndGetResponse()");
        DiscardCabinet(cabinet);
        return;
    }

    if (!VerifyTwcSignature(cabinet.c_str())) {
        char text[kMessageSize];
        SafeFormat(text, sizeof(text), "Patch: TWC file downloaded is not intact at path %s", cabinet.c_str());
        SendErrorTracking(text);
        LogFormat("TWC file downloaded is not intact");
        DiscardCabinet(cabinet);
        return;
    }

    if (FAILED(ExtractFromTwcFile(cabinet.c_str()))) {
        // A validly signed cabinet that did not unpack stays for inspection.
        LogError("Patch: Failed while uncompressing TWC file");
        ReleaseHeldFiles();
        return;
    }

    LoadProcessList((path + "KillProcesses.xml").c_str());

    if (CopyOriginalFiles(installDir, path.c_str(), slipstream.c_str(), commonDataDir) != S_OK) {
        LogError("Patch: Failed while restoring or copying the ULIP files");
        return;
    }
    LogFormat("Successfully restored the ULIP files");
    if (m_folderSupport) {
        ReleaseHeldFiles();
        RemoveX32Folder(path.c_str());
        if (FAILED(DeleteDirectory(path.c_str())))
            LogError("Patch: Failed to cleanup Slipstream folder after copy");
        else
            LogFormat("Successfully cleaned up TWC country folder");
    }
}

void COffCycleFileSelector::DiscardCabinet(const std::string& cabinet) {
    // A download that is not a validly signed cabinet is never left for a later run.
    ReleaseHeldFiles();
    const std::string folder = FolderOf(cabinet.c_str());
    CVerifiedFolder staging;
    if (folder.empty() || !staging.Open(folder)) return;
    const std::string name = CUlipPathRules::NameOf(cabinet);
    if (CUlipPathRules::EntryAttributes(cabinet) == INVALID_FILE_ATTRIBUTES) return;
    if (!staging.Remove(name))
        LogFormat("In COffCycleFileSelector::RestoreULIPFiles, could not delete %s with GetLastError: %d",
                  cabinet.c_str(), static_cast<int>(::GetLastError()));
}

HRESULT COffCycleFileSelector::GetTWMajorMinorVersion(const char* executablePath, std::string& major,
                                                      std::string& slipstream) {
    if (!executablePath) executablePath = "";
    DWORD first = 0, third = 0;
    if (FAILED(GetFileVersion(executablePath, first, third))) {
        const DWORD error = ::GetLastError();
        LogError("Patch: GetTWMajorMinorVersion: Failed to read module version for file %s with GetLastError: %d",
                 executablePath, static_cast<int>(error));
        ::SetLastError(error);
        return E_FAIL;
    }
    std::string text;
    if (!CUlipVersionText::Slipstream(third, text)) {
        const DWORD error = ::GetLastError();
        LogError("Patch: GetTWMajorMinorVersion got Exception with for file patch %s GetLastError: %d", executablePath,
                 static_cast<int>(error));
        ::SetLastError(error);
        return E_FAIL;
    }
    major = CUlipVersionText::Major(first);
    slipstream = text;
    return S_OK;
}

bool COffCycleFileSelector::GetURL(const std::string& major, const std::string& slipstream, std::string& address) {
    try {
        const std::string country = GetTWCountry();
        if (country.empty()) {
            LogFormat("Failed to read Country information from patch.ini, the country value is =   %s",
                      country.c_str());
            return false;
        }
        address = m_ulipBaseUrl + country + "/ulip/" + major + "/" + slipstream + "/x64" + "/" + "original.twc";
        LogFormat("Akamai URL formed is =   %s", address.c_str());
        return true;
    } catch (...) {
        LogError("Patch: GetURL: Got exception.");
        return false;
    }
}

bool COffCycleFileSelector::PatchIniPath(const char* module, DWORD length, std::string& path) {
    if (!module || length == 0 || length >= MAX_PATH) return false;
    const std::string program(module, length);
    const size_t slash = program.find_last_of('\\');
    if (slash == std::string::npos || slash == 0) return false;
    path = program.substr(0, slash) + "\\patch.ini";
    return true;
}

std::string COffCycleFileSelector::GetTWCountry() {
    try {
        char module[MAX_PATH + 1] = {};
        const DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
        std::string path;
        if (!PatchIniPath(module, length, path)) {
            // A cut path would name another folder's patch.ini, or the one at the drive's root.
            LogFormat(
                "In COffCycleFileSelector::GetTWCountry, the program path does not fit %u characters, its patch.ini "
                "is not read",
                static_cast<unsigned>(MAX_PATH - 1));
            return std::string();
        }
        char value[200] = {};
        const DWORD read = ::GetPrivateProfileStringA("autopatch", "country", "", value, sizeof(value), path.c_str());
        if (read == 0 || value[0] == '\0') {
            LogFormat("GetTWCountry() Failed to read patch.ini file at location %s with GetLastError: %d", path.c_str(),
                      static_cast<int>(::GetLastError()));
            return std::string();
        }
        std::string country(value);
        for (char& c : country) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return country;
    } catch (...) {
        LogFormat("GetTWCountry() caught an Exception with GetLastError: %d", static_cast<int>(::GetLastError()));
        return std::string();
    }
}

}  // namespace tw
