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

    const std::string commonFolder = CommonProgramFolder(CSIDL_PROGRAM_FILES_COMMON);
    const std::string commonFolder32 = CommonProgramFolder(CSIDL_PROGRAM_FILES_COMMONX86);

    for (const auto& entry : manifest.items) {
        const Manifest::ManifestItem* item = entry.second.get();
        if (!item) continue;
        bool accepted = item->base == L"INSTALLDIR";
        if (m_folderSupport)
            for (const char* base : kAcceptedBases)
                if (item->base == std::wstring(base, base + std::strlen(base))) accepted = true;
        if (!accepted) continue;

        std::string file;
        if (!ToNarrow(item->file, file) || file.size() > kFileTextLimit) {
            LogFormat(
                "In COffCycleFileSelector::CopyOriginalFiles, file %s has no name of at most %u characters in "
                "the ANSI code page, skipped",
                LogText(item->file).c_str(), static_cast<unsigned>(kFileTextLimit));
            continue;
        }
        LogFormat("Processing: %s", file.c_str());
        if (!CUlipPathRules::IsSafeRelativePath(file)) {
            LogFormat("In COffCycleFileSelector::CopyOriginalFiles, %s does not name a file inside its folder, skipped",
                      file.c_str());
            continue;
        }

        const bool is32Bit = IsOneOf(item->base, {L"CommonAppDataFolder32Bit", L"INSTALLDIR32BIT"});
        const std::string backupBase = is32Bit ? backupFolder + "x32\\" : backupFolder;
        std::string name = CUlipPathRules::NameOf(file);
        std::string backup = backupBase + name;
        LogFormat("Trying backup file: %s", backup.c_str());
        if (!::PathFileExistsA(backup.c_str())) {
            LogFormat("File doesn't exist in backup folder. Trying again without slipstream information.");
            CUlipPathRules::CutExtension(file);
            name = CUlipPathRules::NameOf(file);
            backup = backupBase + name;
            LogFormat("Backup file (after removing slipstream): %s", backup.c_str());
            // The cut may leave a name that is not safe on its own ("CON.dll.r5").
            if (!CUlipPathRules::IsSafeRelativePath(file)) {
                LogFormat(
                    "In COffCycleFileSelector::CopyOriginalFiles, %s does not name a file inside its folder, "
                    "skipped",
                    file.c_str());
                continue;
            }
        }
        if (backup.size() > kPathLimit || !CUlipPathRules::IsInsideFolder(backupFolder, backup)) {
            LogFormat("In COffCycleFileSelector::CopyOriginalFiles, backup file %s cannot be used, skipped",
                      backup.c_str());
            continue;
        }
        if (!::PathFileExistsA(backup.c_str())) continue;

        bool common = commonFiles.count(name) != 0;
        if (!common && m_folderSupport)
            common = IsOneOf(item->base, {L"CommonAppDataFolder32Bit", L"CommonAppDataFolder"});

        if (!common) {
            const std::string destination = installDir + "\\" + file;
            if (installDir.empty() || destination.size() > kPathLimit ||
                !CUlipPathRules::IsInsideFolder(installDir, destination)) {
                LogFormat("In COffCycleFileSelector::CopyOriginalFiles, destination %s cannot be used, skipped",
                          destination.c_str());
                continue;
            }
            CopyAndDelete(backup.c_str(), destination.c_str());
            continue;
        }

        LogFormat("ULIP logic for common files...");
        const std::string& folder = is32Bit ? commonFolder32 : commonFolder;
        if (folder.empty()) {
            // Never made relative to the current folder.
            LogFormat(
                "In COffCycleFileSelector::CopyOriginalFiles, the common program folder for %s is not known, "
                "skipped",
                file.c_str());
            continue;
        }
        const std::string destination = folder + file;
        if (destination.size() > kPathLimit || !CUlipPathRules::IsInsideFolder(folder, destination)) {
            LogFormat("In COffCycleFileSelector::CopyOriginalFiles, destination %s cannot be used, skipped",
                      destination.c_str());
            continue;
        }
        DWORD sourceFirst = 0, sourceThird = 0, destinationFirst = 0, destinationThird = 0;
        if (FAILED(GetFileVersion(backup.c_str(), sourceFirst, sourceThird)) ||
            FAILED(GetFileVersion(destination.c_str(), destinationFirst, destinationThird))) {
            LogFormat("Couldn't read the file version(s), continuing with the next file");
            continue;
        }
        LogFormat("pathSourceDLL:%s, pathDestDLL:%s", backup.c_str(), destination.c_str());
        LogFormat("dwFileMajorverSource:%d, dwFileMinorverSource:%d, dwFileMajorverDest:%d, dwFileMinorverDest:%d",
                  static_cast<int>(sourceFirst), static_cast<int>(sourceThird), static_cast<int>(destinationFirst),
                  static_cast<int>(destinationThird));
        if (sourceFirst == destinationFirst && sourceThird == destinationThird)
            CopyAndDelete(backup.c_str(), destination.c_str());
        else
            DeleteBackupFile(backup.c_str());
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
    if (!::PathFileExistsA(iniPath.c_str())) {
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
        ::DeleteFileA(temporary);
        return false;
    }
    // With a name for the replaced file, a failure leaves both files under names we know.
    const std::string previous = std::string(temporary) + ".old";
    if (::ReplaceFileA(destination, temporary, previous.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        ::DeleteFileA(previous.c_str());
        error = 0;
        return true;
    }
    error = ::GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) ::MoveFileExA(previous.c_str(), destination, 0);
    ::DeleteFileA(temporary);
    ::DeleteFileA(previous.c_str());
    return false;
}

bool COffCycleFileSelector::CopyAndDelete(const char* backupFile, const char* destinationFile) {
    if (!backupFile) backupFile = "";
    if (!destinationFile) destinationFile = "";
    LogFormat("CopyAndDelete: %s => %s", backupFile, destinationFile);
    const std::string name = CUlipPathRules::NameOf(backupFile);

    bool copied = false;
    DWORD copyError = 0;
    if (::PathFileExistsA(destinationFile) && ::PathFileExistsA(backupFile)) {
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
    const BOOL deleted = ::DeleteFileA(backupFile);
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
    const BOOL deleted = ::DeleteFileA(path);
    LogFormat("Delete: %s. Status: %d", path, deleted);
    if (!deleted) {
        ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        LogFormat("%s will be deleted after system reboot", path);
    }
}

HRESULT COffCycleFileSelector::GetFileVersion(const char* path, DWORD& firstComponent, DWORD& thirdComponent) {
    // Every failure names the product's main executable, whichever file was read.
    auto fail = [this](const char* step) {
        const DWORD error = ::GetLastError();
        LogError(step, static_cast<int>(error));
        LogError("Patch: Failed while reading File version of TWW32.exe :  %d", static_cast<int>(error));
        ::SetLastError(error);
        return E_FAIL;
    };
    if (!path) path = "";
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return fail("Patch: Failed while reading GetFileVersionInfoSize TWW32.exe :  %d");
    std::vector<BYTE> buffer(static_cast<size_t>(size) + 1);
    if (!::GetFileVersionInfoA(path, 0, size, buffer.data()))
        return fail("Patch: Failed while reading GetFileVersionInfo of TWW32.exe :  %d");
    void* block = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(buffer.data(), "\\", &block, &length) || !block || length < sizeof(VS_FIXEDFILEINFO))
        return fail("Patch: Failed while VerQueryValue for TWW32.exe :  %d");
    const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    firstComponent = HIWORD(info->dwFileVersionMS);
    thirdComponent = HIWORD(info->dwFileVersionLS);
    return S_OK;
}

// ---- package cabinet and download ----

}  // namespace tw
