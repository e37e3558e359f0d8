#pragma once
// Helpers of the ULIP restore tests: the selector with its steps opened, a recording tracking
// sender, version stand-ins, patch.ini beside the test program, Unix symbolic links (which
// the platform reports as reparse points) and a running stand-in process.

#include <windows.h>

#include <functional>
#include <list>
#include <string>
#include <vector>

#include "common/Handles.h"
#include "common/TestSupport.h"
#include "logging/TrackingSender.h"
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

// Keeps every tracking message; installed for its lifetime with a context that lets error
// messages through (country "US", no server).
class UlipRecordingSender : public tw::ITrackingSender {
public:
    UlipRecordingSender();
    bool Send(const tw::TrackingMessage& message) override;
    // Number of messages whose text contains the part.
    size_t Count(const std::string& part, bool isError = true) const;
    std::vector<tw::TrackingMessage> messages;

private:
    twtest::TrackingSenderScope m_scope{this};
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

// Runs a Unix program with arguments (no spaces or quotes inside them) and waits (bounded)
// until done() tells that it had its effect.
bool RunUnix(const std::string& program, const std::string& arguments, const std::function<bool()>& done);
// A Unix symbolic link at link pointing to target (both Windows paths); removed (the link
// only) on destruction.
class UnixLink {
public:
    UnixLink(const std::string& target, const std::string& link);
    ~UnixLink();
    UnixLink(const UnixLink&) = delete;
    UnixLink& operator=(const UnixLink&) = delete;
    bool Made() const { return m_made; }

private:
    std::string m_link;
    std::string m_windowsLink;
    bool m_made = false;
};

// One running stand-in product process ("tww.exe"); ended on destruction.
class RunningStandIn {
public:
    RunningStandIn() = default;
    ~RunningStandIn();
    RunningStandIn(const RunningStandIn&) = delete;
    RunningStandIn& operator=(const RunningStandIn&) = delete;
    bool Start(const std::string& switches);
    DWORD Id() const { return m_id; }
    static std::string Exe();

private:
    tw::KernelHandle m_process;
    DWORD m_id = 0;
};

}  // namespace octest
