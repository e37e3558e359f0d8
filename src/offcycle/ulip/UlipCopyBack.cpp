// Members of COffCycleFileSelector: the ULIP copy-back by the version rule.
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

#include "common/FileSystem.h"
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
#include "offcycle/ulip/UlipCopyBackPlan.h"
#include "offcycle/ulip/UlipPathRules.h"
#include "offcycle/ulip/UlipRestoreHelpers.h"
#include "offcycle/ulip/UlipVersionText.h"

namespace tw {

using namespace ulip;

HRESULT COffCycleFileSelector::CopyOriginalFiles(const char* installDir, const char* countryFolder,
                                                 const char* slipstream, const char* commonDataDir) {
    try {
        return CopyOriginalFilesSteps(installDir ? installDir : "", countryFolder ? countryFolder : "",
                                      slipstream ? slipstream : "", commonDataDir ? commonDataDir : "");
    } catch (...) {
        LogError("Patch: CopyOriginalFiles: Got exception  :  %d", static_cast<int>(::GetLastError()));
        return E_FAIL;
    }
}

HRESULT COffCycleFileSelector::CopyOriginalFilesSteps(const std::string& installDir, const std::string& countryFolder,
                                                      const std::string& slipstream, const std::string& commonDataDir) {
    LogFormat("Restoring ULIP files...");
    const HRESULT reader = InitializeReader();

    const std::string manifestPath = WithBackslash(countryFolder) + slipstream + ".xml";
    Manifest::ManifestTable manifest;
    HRESULT hr = reader;
    if (SUCCEEDED(hr) && m_reader) {
        std::unique_ptr<Manifest::SAXContentHandlerStateFactory> factory;
        hr = Manifest::ParseManifestFile(factory, manifest, manifestPath.c_str(), m_reader.Get());
    } else if (SUCCEEDED(hr)) {
        hr = E_POINTER;
    }
    if (FAILED(hr)) {
        LogError("Patch: Failed while loading manifest file  :  %s", manifestPath.c_str());
        return E_FAIL;
    }

    if (countryFolder.empty()) return E_FAIL;
    const std::string backupFolder = WithBackslash(countryFolder);
    if (backupFolder.size() > kFileTextLimit) {
        LogFormat("In COffCycleFileSelector::CopyOriginalFiles, the backup folder %s is too long",
                  backupFolder.c_str());
        return E_FAIL;
    }
    LogFormat("ULIP backup path: %s", backupFolder.c_str());

    const std::string executable = installDir + "\\TWW.EXE";
    DWORD first = 0, third = 0;
    if (FAILED(GetFileVersion(executable.c_str(), first, third))) return E_FAIL;
    const std::string updateTarget =
        JoinPath(commonDataDir, "Components\\DownloadTW" + std::to_string(first) + "\\ULIP0\\.update\\.target\\");
    std::set<std::string> commonFiles;
    if (!ReadULIPIniFile(executable.c_str(), updateTarget.c_str(), commonFiles)) {
        // A release key that cannot be formed ends the copy-back as a failure.
        LogError("Patch: CopyOriginalFiles: Got exception  :  %d", static_cast<int>(::GetLastError()));
        return E_FAIL;
    }

    // Decided first, for every item, then carried out.
    CCopyBackPlan::Inputs inputs;
    inputs.manifest = &manifest;
    inputs.backupFolder = backupFolder;
    inputs.installDir = installDir;
    inputs.commonFolder = CommonProgramFolder(CSIDL_PROGRAM_FILES_COMMON);
    inputs.commonFolder32 = CommonProgramFolder(CSIDL_PROGRAM_FILES_COMMONX86);
    inputs.folderSupport = m_folderSupport;
    inputs.commonFiles = &commonFiles;
    CCopyBackPlan::Facts facts;
    facts.isVerifiedBackup = [this](const std::string& path) { return m_heldFiles.IsHeldUnchanged(path.c_str()); };
    facts.version = [](const std::string& path) { return CCopyBackPlan::ReadVersion(path); };
    for (const CCopyBackPlan::Step& step : CCopyBackPlan::Make(inputs, facts)) {
        for (const CCopyBackPlan::Line& line : step.lines) {
            if (line.error)
                LogError("%s", line.text.c_str());
            else
                LogFormat("%s", line.text.c_str());
        }
        if (step.action == CCopyBackPlan::Action::Copy)
            CopyAndDelete(step.backup.c_str(), step.destination.c_str());
        else if (step.action == CCopyBackPlan::Action::KeepInstalled)
            DeleteBackupFile(step.backup.c_str());
    }
    LogFormat("ULIP logic completed.");
    return S_OK;
}

void COffCycleFileSelector::ReadULIPIni(const char* executablePath, const char* updateTargetFolder,
                                        std::set<std::string>& commonFiles) {
    ReadULIPIniFile(executablePath, updateTargetFolder, commonFiles);
}

bool COffCycleFileSelector::ReadULIPIniFile(const char* executablePath, const char* updateTargetFolder,
                                            std::set<std::string>& commonFiles) {
    const std::string iniPath = JoinPath(updateTargetFolder ? updateTargetFolder : "", "ULIP.ini");
    if (!EntryExists(iniPath)) {
        LogFormat("ULIP.ini was not found during ULIP Installation\n");
        return true;
    }
    DWORD first = 0, third = 0;
    if (FAILED(GetFileVersion(executablePath ? executablePath : "", first, third))) return true;
    std::string key;
    if (!CUlipVersionText::ReleaseKey(third, key)) return false;
    const std::string value = ReadGrowingProfileString(kUlipIniSection, key.c_str(), iniPath.c_str());
    m_folderSupport = IsULIPNewFolderCodeEnabled(iniPath.c_str(), key.c_str());
    for (const std::string& piece : SplitAtCommas(value)) {
        // No release key, or a comma at the end, names no file.
        if (piece.empty()) continue;
        commonFiles.insert(piece);
        LogFormat("Found Common file(%s) from ULIP.ini file.\n", piece.c_str());
    }
    return true;
}

bool COffCycleFileSelector::IsULIPNewFolderCodeEnabled(const char* iniPath, const char* releaseKey) {
    if (!iniPath || !releaseKey) return false;
    const std::string value = ReadGrowingProfileString(kUlipIniSection, "EnableFolderSupport", iniPath);
    if (value.empty()) return false;
    for (const std::string& piece : SplitAtCommas(value)) {
        if (piece == releaseKey) {
            LogFormat("IsULIPNewFolderCodeEnabled(): ULIP code to support new folder structure is enabled");
            return true;
        }
    }
    return false;
}

BOOL COffCycleFileSelector::DeleteStagedFile(const char* path) {
    // A file of the staging folder goes through its verified handle, never through a link.
    const std::string& folder = m_staging.Path();
    if (m_staging.IsOpen() && std::strlen(path) > folder.size() &&
        ::_strnicmp(path, folder.c_str(), folder.size()) == 0)
        return m_staging.Remove(path + folder.size()) ? TRUE : FALSE;
    return ::DeleteFileA(path);
}

void COffCycleFileSelector::DeleteOrDefer(const std::string& path) {
    if (::DeleteFileA(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) return;
    const DWORD error = ::GetLastError();
    // Still in use (a mapped image stays until its process ends): gone at the next restart.
    const BOOL registered = ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    LogFormat(
        "In COffCycleFileSelector::CopyAndDelete, %s could not be deleted (GetLastError: %d), registered for "
        "deletion at restart with Status: %d ,GetLastError: %d",
        path.c_str(), static_cast<int>(error), registered, static_cast<int>(registered ? 0 : ::GetLastError()));
}

bool COffCycleFileSelector::ReplaceWhole(const char* source, const char* destination, DWORD& error) {
    // The new content is written beside the destination first and then put in its place, so
    // a failure leaves the installed file as it was; the replacement keeps its security and
    // attributes.
    const std::string folder = FolderOf(destination);
    char temporary[MAX_PATH + 1] = {};
    if (folder.empty() || !::GetTempFileNameA(folder.c_str(), "twu", 0, temporary)) {
        error = ::GetLastError();
        return false;
    }
    if (!::CopyFileA(source, temporary, FALSE)) {
        error = ::GetLastError();
        DeleteOrDefer(temporary);
        return false;
    }
    // With a name for the replaced file, a failure leaves both files under names we know.
    const std::string previous = std::string(temporary) + ".old";
    if (::ReplaceFileA(destination, temporary, previous.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        DeleteOrDefer(previous);
        error = 0;
        return true;
    }
    error = ::GetLastError();
    DeleteOrDefer(temporary);
    const CCopyBackPlan::Recovery recovery =
        CCopyBackPlan::AfterFailedReplace(EntryExists(destination), EntryExists(previous));
    bool keptAside = recovery == CCopyBackPlan::Recovery::KeepPrevious;
    if (recovery == CCopyBackPlan::Recovery::MoveBack && !::MoveFileExA(previous.c_str(), destination, 0))
        keptAside = true;
    if (keptAside)
        // The only copy of the installed file is never deleted: it stays under its name.
        LogFormat(
            "In COffCycleFileSelector::CopyAndDelete, the installed file %s could not be put back (GetLastError: "
            "%d), it is kept as %s",
            destination, static_cast<int>(::GetLastError()), previous.c_str());
    ::SetLastError(error);
    return false;
}

bool COffCycleFileSelector::CopyAndDelete(const char* backupFile, const char* destinationFile) {
    if (!backupFile) backupFile = "";
    if (!destinationFile) destinationFile = "";
    LogFormat("CopyAndDelete: %s => %s", backupFile, destinationFile);
    const std::string name = CUlipPathRules::NameOf(backupFile);

    bool copied = false;
    DWORD copyError = 0;
    if (EntryExists(destinationFile) && EntryExists(backupFile)) {
        copied = ReplaceWhole(backupFile, destinationFile, copyError);
        LogFormat("Copy: %s => %s. Status= %d with GetLastError: %d", backupFile, destinationFile, copied ? 1 : 0,
                  static_cast<int>(copyError));
    }
    if (!copied) {
        SendErrorTracking(
            ("Patch: Copy failed for " + name + " with GetLastError: " + std::to_string(copyError)).c_str());
        RetrieveProcessWithLoadedModule(destinationFile);
        return false;
    }

    ReleaseHeldFile(backupFile);
    const BOOL deleted = DeleteStagedFile(backupFile);
    const DWORD deleteError = deleted ? 0 : ::GetLastError();
    LogFormat("Delete: %s. Status: %d with GetLastError: %d", backupFile, deleted, static_cast<int>(deleteError));
    if (!deleted) {
        SendErrorTracking(
            ("Patch: Delete failed for " + name + " with GetLastError: " + std::to_string(deleteError)).c_str());
        const BOOL registered = ::MoveFileExA(backupFile, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        const DWORD registerError = registered ? 0 : ::GetLastError();
        LogFormat("%s will be deleted after system reboot with Status: %d ,GetLastError: %d", backupFile, registered,
                  static_cast<int>(registerError));
        if (!registered) {
            SendErrorTracking(("Patch: Delete after reboot failed for " + name +
                               " with GetLastError: " + std::to_string(registerError))
                                  .c_str());
            RetrieveProcessWithLoadedModule(destinationFile);
        }
    }
    return true;
}

void COffCycleFileSelector::DeleteBackupFile(const char* path) {
    if (!path) return;
    ReleaseHeldFile(path);
    const BOOL deleted = DeleteStagedFile(path);
    LogFormat("Delete: %s. Status: %d", path, deleted);
    if (!deleted) {
        ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        LogFormat("%s will be deleted after system reboot", path);
    }
}

HRESULT COffCycleFileSelector::GetFileVersion(const char* path, DWORD& firstComponent, DWORD& thirdComponent) {
    const CCopyBackPlan::Version version = CCopyBackPlan::ReadVersion(path ? path : "");
    if (!version.read) {
        const DWORD error = ::GetLastError();
        for (const CCopyBackPlan::Line& line : version.failure) LogError("%s", line.text.c_str());
        ::SetLastError(error);
        return E_FAIL;
    }
    firstComponent = version.first;
    thirdComponent = version.third;
    return S_OK;
}

// ---- package cabinet and download ----

}  // namespace tw
