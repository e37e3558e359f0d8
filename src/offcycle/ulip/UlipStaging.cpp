// Members of COffCycleFileSelector: the staging folders of the ULIP restore.
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
#include "common/ProtectedFolder.h"
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

bool COffCycleFileSelector::RefuseStagingLevel(const std::string& path) {
    // The staging folders are emptied and filled: a link would carry that elsewhere.
    if (!CUlipPathRules::IsReparsePoint(path)) return false;
    LogError("Patch: CreateDirectoryStructure: %s is a link to another place, refused", path.c_str());
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return true;
}

// The country folder left by an earlier run: emptied and created again.
HRESULT COffCycleFileSelector::RecreateStagingFolder(const std::string& path) {
    if (RefuseStagingLevel(path + "x32")) return E_FAIL;
    ReleaseHeldFiles();
    RemoveX32Folder(path.c_str());
    if (FAILED(DeleteDirectory(path.c_str()))) {
        const DWORD deleteError = ::GetLastError();
        LogError(
            "Patch: CreateDirectoryStrcture: Failed to delete country specific directory %s with "
            "GetLastError: %d",
            path.c_str(), static_cast<int>(deleteError));
        ::SetLastError(deleteError);
        return E_FAIL;
    }
    if (!::CreateDirectoryA(path.c_str(), nullptr)) {
        const DWORD createError = ::GetLastError();
        LogError(
            "Patch: CreateDirectoryStrcture: 2nd attempt, Failed to create country specific directory %s "
            "with GetLastError: %d",
            path.c_str(), static_cast<int>(createError));
        ::SetLastError(createError);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT COffCycleFileSelector::CreateDirectoryStructure(std::string& path, const std::string& major,
                                                        const std::string& slipstream, const std::string& country) {
    try {
        // Each text becomes one folder level under the roaming folder and nothing else.
        for (const std::string* level : {&major, &slipstream, &country}) {
            if (!CUlipPathRules::IsSafeName(*level)) {
                LogError("Patch: CreateDirectoryStructure: \"%s\" is not a folder name, refused", level->c_str());
                ::SetLastError(ERROR_INVALID_NAME);
                return E_FAIL;
            }
        }
        struct Level {
            const std::string* text;
            const char* failure;
        } const levels[] = {
            {nullptr,
             "Patch: CreateDirectoryStructure: Failed to create Tallyworks directory %s with GetLastError: %d"},
            {&major,
             "Patch: CreateDirectoryStructure: Failed to create Major version directory %s with GetLastError: %d"},
            {&slipstream,
             "Patch: CreateDirectoryStructure: 1st attempt, Failed to create slipstream directory %s with "
             "GetLastError: %d"},
        };
        for (const Level& level : levels) {
            if (level.text) path += *level.text + "\\";
            if (!::CreateDirectoryA(path.c_str(), nullptr)) {
                const DWORD error = ::GetLastError();
                if (error != ERROR_ALREADY_EXISTS) {
                    LogError(level.failure, path.c_str(), static_cast<int>(error));
                    ::SetLastError(error);
                    return E_FAIL;
                }
            }
            if (RefuseStagingLevel(path)) return E_FAIL;
        }

        path += country + "\\";
        const bool created = ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
        const DWORD error = ::GetLastError();
        if (!created && error != ERROR_ALREADY_EXISTS) {
            LogError(
                "Patch: CreateDirectoryStructure: 1st attempt, Failed to create country specific directory %s with "
                "GetLastError: %d",
                path.c_str(), static_cast<int>(error));
            ::SetLastError(error);
            return E_FAIL;
        }
        if (RefuseStagingLevel(path)) return E_FAIL;
        if (created) {
            LogFormat(
                "CreateDirectoryStructure: Successfully created country specific directory %s with GetLastError: "
                "%d",
                path.c_str(), static_cast<int>(::GetLastError()));
            return S_OK;
        }

        return RecreateStagingFolder(path);
    } catch (...) {
        LogError("Patch: CreateDirectoryStructure: Got exception: %d", static_cast<int>(::GetLastError()));
        return E_FAIL;
    }
}

HRESULT COffCycleFileSelector::DeleteDirectory(const char* folder) {
    try {
        return DeleteFolderTree(folder ? folder : "");
    } catch (...) {
        LogError("Patch: COffCycleFileSelector::DeleteDirectory: Throws exception");
        return E_FAIL;
    }
}

HRESULT COffCycleFileSelector::DeleteFolderTree(const std::string& folder) {
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : CUlipPathRules::EntryAttributes(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        LogError("Patch: COffCycleFileSelector::DeleteDirectory: This directory does not exist");
        return E_FAIL;
    }
    // Every entry is removed through a handle that does not follow links: a link is removed
    // itself and what it points to is never visited.
    CVerifiedFolder verified;
    bool removed = false;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && verified.Open(folder)) {
        const bool emptied = verified.Empty("", kMaxFolderDepth, [this](const std::string& name, DWORD error) {
            LogError("Patch: Failed to delete the File : %s  with GetLastError: %d", name.c_str(),
                     static_cast<int>(error));
        });
        if (!emptied && ::GetLastError() != ERROR_DIR_NOT_EMPTY)
            LogFormat("There is no file present in current directory : %s", folder.c_str());
        removed = verified.Remove("");
    } else {
        // The folder is itself a link, or reached through one: only a link at its own place
        // is removed, as itself.
        std::string trimmed = folder;
        while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
        CVerifiedFolder parent;
        const std::string parentPath = FolderOf(trimmed.c_str());
        removed = !parentPath.empty() && parent.Open(parentPath) && parent.Remove(CUlipPathRules::NameOf(trimmed));
    }
    if (!removed) {
        const DWORD error = ::GetLastError();
        LogError("Patch: Failed to delete the directory : %s  with GetLastError: %d", folder.c_str(),
                 static_cast<int>(error));
        ::SetLastError(error);
        return E_FAIL;
    }
    return S_OK;
}

bool COffCycleFileSelector::StagingRoot(std::string& folder) {
    std::string root = m_protectedFolder;
    std::string error;
    bool ready = !root.empty() || CProtectedFolder::DefaultRoot(root, error);
    ready = ready && CProtectedFolder::Ensure(root, error);
    if (!ready) {
        const DWORD lastError = ::GetLastError();
        LogFormat("In COffCycleFileSelector::RestoreULIPFiles, no protected folder for the ULIP files: %s",
                  error.c_str());
        ::SetLastError(lastError ? lastError : ERROR_ACCESS_DENIED);
        return false;
    }
    const std::string staging = JoinPath(root, "Ulip");
    // Made fresh by this run: what an earlier run (or anybody) left there goes first.
    if (CUlipPathRules::EntryAttributes(staging) != INVALID_FILE_ATTRIBUTES && FAILED(DeleteDirectory(staging.c_str())))
        return false;
    if (!::CreateDirectoryA(staging.c_str(), nullptr)) return false;
    CVerifiedFolder check;
    if (!check.Open(staging)) {
        LogFormat("In COffCycleFileSelector::RestoreULIPFiles, %s is not a folder of its own, refused",
                  staging.c_str());
        return false;
    }
    folder = staging + "\\";
    return true;
}

void COffCycleFileSelector::RemoveX32Folder(const char* folder) {
    const std::string x32 = WithBackslash(folder ? folder : "") + "x32\\";
    if (FolderExists(x32)) DeleteDirectory(x32.c_str());
}

}  // namespace tw
