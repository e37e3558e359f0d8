#pragma once
// Helpers of the ULIP restore tests: the selector with its steps opened, version stand-ins,
// and patch.ini beside the test program.

#include <windows.h>

#include <list>
#include <string>

#include "common/Handles.h"
#include "common/TestSupport.h"
#include "offcycle/OffCycleFileSelector.h"
#include "PackageTestSupport.h"

namespace octest {

class UlipSelector : public tw::COffCycleFileSelector {
public:
    using COffCycleFileSelector::CopyAndDelete;
    using COffCycleFileSelector::CopyOriginalFiles;
    using COffCycleFileSelector::CreateDirectoryStructure;
    using COffCycleFileSelector::DeleteBackupFile;
    using COffCycleFileSelector::DiscardCabinet;
    using COffCycleFileSelector::GetFileVersion;
    using COffCycleFileSelector::GetTWCountry;
    using COffCycleFileSelector::GetTWMajorMinorVersion;
    using COffCycleFileSelector::GetURL;
    using COffCycleFileSelector::IsModuleLoadedInProcess;
    using COffCycleFileSelector::IsULIPNewFolderCodeEnabled;
    using COffCycleFileSelector::LoadProcessList;
    using COffCycleFileSelector::PatchIniPath;
    using COffCycleFileSelector::ReadULIPIni;
    using COffCycleFileSelector::RemoveX32Folder;
    using COffCycleFileSelector::ReplaceWhole;
    using COffCycleFileSelector::RetrieveProcessWithLoadedModule;
    using COffCycleFileSelector::SetPrivilege;
    using COffCycleFileSelector::StagingRoot;
    // Holds the files of the folder and its "x32" subfolder as if this run had unpacked them
    // from the verified cabinet.
    void HoldAsUnpacked(const std::string& folder);
    bool IsHeld(const std::string& path) const { return m_heldFiles.IsHeld(path.c_str()); }
    const std::list<std::string>& ProcessNames() const { return m_processNames; }
    bool FolderSupport() const { return m_folderSupport; }
    void SetFolderSupport(bool on) { m_folderSupport = on; }
};

// Build-tree path of a version stand-in ("ulipv33_4005").
std::string VersionExe(const std::string& name);

// patch.ini beside the running test program with the given text; the file that was there
// before (or none) comes back on destruction.
class PatchIniBesideProgram {
public:
    explicit PatchIniBesideProgram(const std::string& text);
    ~PatchIniBesideProgram();
    PatchIniBesideProgram(const PatchIniBesideProgram&) = delete;
    PatchIniBesideProgram& operator=(const PatchIniBesideProgram&) = delete;
    static std::string Path();

private:
    bool m_existed = false;
    std::string m_before;
};

}  // namespace octest
