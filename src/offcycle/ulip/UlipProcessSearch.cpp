// Members of COffCycleFileSelector: the processes that hold a file the ULIP copy-back replaces.
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
#include "offcycle/ulip/UlipPathRules.h"
#include "offcycle/ulip/UlipRestoreHelpers.h"
#include "offcycle/ulip/UlipVersionText.h"

namespace tw {

using namespace ulip;

void COffCycleFileSelector::LoadProcessList(const char* path) {
    if (!EntryExists(path)) return;
    // Without a reader the list stays as it is.
    if (FAILED(InitializeReader()) || !m_reader) return;
    std::unique_ptr<Manifest::SAXContentHandlerStateFactory> factory;
    Manifest::ManifestTable manifest;
    if (FAILED(Manifest::ParseManifestFile(factory, manifest, path, m_reader.Get()))) return;
    for (const auto& entry : manifest.items) {
        const Manifest::ManifestItem* item = entry.second.get();
        if (!item) continue;
        std::string name;
        if (!ToNarrow(item->file, name)) {
            LogFormat("In COffCycleFileSelector::LoadProcessList, %s has no name in the ANSI code page, skipped",
                      LogText(item->file).c_str());
            continue;
        }
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        m_processNames.push_back(name);
    }
}

void COffCycleFileSelector::RetrieveProcessWithLoadedModule(const char* modulePath) {
    try {
        if (m_processNames.empty() || !modulePath) return;
        bool privilegeEnabled = false;
        {
            KernelHandle token;
            if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put()))
                privilegeEnabled = SetPrivilege(token.Get(), SE_DEBUG_NAME, true);
        }
        {
            SnapshotHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            if (snapshot) {
                PROCESSENTRY32 entry = {};
                entry.dwSize = sizeof(entry);
                for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
                     more = ::Process32Next(snapshot.Get(), &entry)) {
                    bool listed = false;
                    for (const std::string& name : m_processNames)
                        if (::_stricmp(entry.szExeFile, name.c_str()) == 0) listed = true;
                    if (listed && IsModuleLoadedInProcess(entry.th32ProcessID, modulePath)) break;
                }
            }
        }
        if (privilegeEnabled) {
            KernelHandle token;
            if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put()))
                SetPrivilege(token.Get(), SE_DEBUG_NAME, false);
        }
    } catch (const std::exception& e) {
        const char* what = e.what();
        LogFormat("RetrieveProcessWithLoadedModule exception happened. Details : %s",
                  what && *what ? what : "Unknown exception");
    } catch (...) {
        LogFormat("RetrieveProcessWithLoadedModule unknown exception happened.");
    }
}

bool COffCycleFileSelector::IsModuleLoadedInProcess(DWORD processId, const char* modulePath) {
    try {
        if (!modulePath) return false;
        // 32-bit processes list their modules only with the second flag; a process still
        // starting answers ERROR_BAD_LENGTH for a moment.
        SnapshotHandle snapshot;
        for (int attempt = 0; attempt < kSnapshotAttempts; ++attempt) {
            snapshot.Reset(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId));
            if (snapshot || ::GetLastError() != ERROR_BAD_LENGTH) break;
        }
        if (!snapshot) return false;
        MODULEENTRY32 module = {};
        module.dwSize = sizeof(module);
        if (!::Module32First(snapshot.Get(), &module)) return false;
        const std::string executable = module.szExePath;
        do {
            if (::_stricmp(module.szExePath, modulePath) == 0) {
                LogError("Patch: Dll - %s, loaded in process with id-%ld, and path - %s.", modulePath,
                         static_cast<long>(processId), executable.c_str());
                return true;
            }
        } while (::Module32Next(snapshot.Get(), &module));
        return false;
    } catch (const std::exception& e) {
        LogError("Patch: IsModuleLoadedInProcess exception happened. Details : %s", e.what());
        return false;
    } catch (...) {
        LogError("Patch: IsModuleLoadedInProcess unknown exception happened.");
        return false;
    }
}

bool COffCycleFileSelector::SetPrivilege(HANDLE token, const char* privilege, bool enable) {
    LUID luid;
    if (!::LookupPrivilegeValueA(nullptr, privilege, &luid)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) return false;
    return ::GetLastError() == ERROR_SUCCESS;
}

}  // namespace tw
