#pragma once
// Finds and loads the off-cycle manifests of a folder, keeps the items of every accepted
// manifest, and tells the full paths of the files listed for a feature. A manifest file
// whose name begins with "ulip0" starts the ULIP common-file restore instead.

#include <windows.h>
#include <msxml2.h>

#include <list>
#include <memory>
#include <set>
#include <string>

#include "common/Handles.h"

#include "offcycle/ulip/HeldCabinet.h"
#include "offcycle/ulip/HeldFiles.h"
#include "offcycle/ManifestTable.h"
#include "offcycle/ulip/UrlDownload.h"
#include "offcycle/ulip/VerifiedFolder.h"

namespace tw {

class COffCycleFileSelector {
public:
    using Logger = void (*)(const char* line);

    COffCycleFileSelector();
    ~COffCycleFileSelector();
    COffCycleFileSelector(const COffCycleFileSelector&) = delete;
    COffCycleFileSelector& operator=(const COffCycleFileSelector&) = delete;

    // Loads every "*.xml" file of the folder: the ULIP trigger runs the ULIP restore, every
    // other file is loaded as an off-cycle manifest. A file that fails is logged and skipped.
    HRESULT LoadAllManifests(const char* folder, const char* installDir, const char* commonDataDir);

    // Appends the full paths of the files listed for the feature ("all" or empty: every
    // feature). Paths of base "INSTALLDIR" and "CommonAppDataFolder" are put under the two
    // folders; other bases leave the file text as it is. An item without a file name, with a
    // name the ANSI code page cannot hold exactly, or whose base folder is not known is
    // skipped with a log line. Always succeeds.
    HRESULT GetFilesForFeature(const char* feature, std::list<std::string>& files, const char* installDir,
                               const char* commonDataDir);

    // Where the progress lines go; null drops them.
    void SetLogger(Logger logger);

    // The ULIP common-file restore started by a trigger file. Always succeeds.
    HRESULT RestoreULIPFiles(const char* triggerPath, const char* installDir, const char* commonDataDir);

    // Base address of the ULIP packages (scheme, host and "/http.veltra/"); the maker's
    // content-delivery server unless a test points it elsewhere.
    void SetUlipBaseUrl(const char* baseUrl);

    // Deletes the files of a folder (given with a trailing backslash) and then the folder.
    HRESULT DeleteDirectory(const char* folder);

    // The folder only administrators can change under which the ULIP restore stages its
    // files (in its subfolder "Ulip"); by default CProtectedFolder's.
    void SetProtectedFolder(const char* folder);

    // Bounds of the package download: past the time or the size it fails. By default
    // CUrlDownload's (five minutes, 256 MiB; a transfer idle for 8 s fails sooner).
    void SetDownloadLimits(DWORD timeoutMs, ULONGLONG maxBytes);

protected:
    static constexpr size_t kMessageSize = 2048;

    // Creates the MSXML 6 SAX reader on first need (initialising COM for the thread).
    HRESULT InitializeReader();
    // Loads one off-cycle manifest; only version 1 of type "offcycle" is accepted.
    HRESULT LoadManifestFile(const char* path);

    // ULIP restore steps.
    HRESULT GetTWMajorMinorVersion(const char* executablePath, std::string& major, std::string& slipstream);
    bool GetURL(const std::string& major, const std::string& slipstream, std::string& address);
    std::string GetTWCountry();
    // "patch.ini" beside the program whose path GetModuleFileNameA gave with this length in a
    // buffer of MAX_PATH; false when that path was cut or names no folder.
    static bool PatchIniPath(const char* module, DWORD length, std::string& path);
    HRESULT CreateDirectoryStructure(std::string& path, const std::string& major, const std::string& slipstream,
                                     const std::string& country);
    void RemoveX32Folder(const char* folder);

    // The package cabinet: signature check and unpacking into the folder of the cabinet.
    bool VerifyTwcSignature(const char* cabinetPath);
    HRESULT ExtractFromTwcFile(const char* cabinetPath);
    bool ExtractTwcThroughFDI(const char* cabinetPath);

    // Unpacked package files are held open against replacement until they are copied back;
    // the hold on one file ends before that file is deleted, all holds before the folder is.
    void ReleaseHeldFile(const char* path);
    void ReleaseHeldFiles();

    // Connectivity and the download of the package.
    DWORD CheckInternetConnection();
    HRESULT SendRequestAndGetResponse(const char* address, const char* targetPath);

    // The product processes named by the package, and the search for one holding a module.
    void LoadProcessList(const char* path);
    void RetrieveProcessWithLoadedModule(const char* modulePath);
    bool IsModuleLoadedInProcess(DWORD processId, const char* modulePath);
    static bool SetPrivilege(HANDLE token, const char* privilege, bool enable);

    // Copying the release's files back into the product.
    HRESULT CopyOriginalFiles(const char* installDir, const char* countryFolder, const char* slipstream,
                              const char* commonDataDir);
    void ReadULIPIni(const char* executablePath, const char* updateTargetFolder, std::set<std::string>& commonFiles);
    bool IsULIPNewFolderCodeEnabled(const char* iniPath, const char* releaseKey);
    bool CopyAndDelete(const char* backupFile, const char* destinationFile);
    void DeleteBackupFile(const char* path);
    HRESULT GetFileVersion(const char* path, DWORD& firstComponent, DWORD& thirdComponent);

    // Pieces of the restore and the copy-back.
    void RestoreULIPSteps(const char* installDir, const char* commonDataDir);
    // The staging folder of this run ("Ulip" in the protected folder, with a closing
    // backslash): whatever an earlier run left there is removed first, links never followed.
    bool StagingRoot(std::string& folder);
    // Deletes a download that is not a validly signed cabinet.
    void DiscardCabinet(const std::string& cabinet);
    // True (logged) when a staging folder level is a link to another place.
    bool RefuseStagingLevel(const std::string& path);
    // Empties and creates again the country folder an earlier run left.
    HRESULT RecreateStagingFolder(const std::string& path);
    // Empties a folder through every level and removes it, removing links without following them.
    HRESULT DeleteFolderTree(const std::string& folder);
    HRESULT CopyOriginalFilesSteps(const std::string& installDir, const std::string& countryFolder,
                                   const std::string& slipstream, const std::string& commonDataDir);
    // ReadULIPIni; false when the release key of the executable's version cannot be formed.
    bool ReadULIPIniFile(const char* executablePath, const char* updateTargetFolder,
                         std::set<std::string>& commonFiles);
    // Puts a copy of source in place of destination whole, or leaves destination untouched.
    bool ReplaceWhole(const char* source, const char* destination, DWORD& error);
    // Deletes a file of the replacement; one still in use is registered for deletion at restart.
    void DeleteOrDefer(const std::string& path);
    // Deletes a backup file: inside the open staging folder through its verified handle.
    BOOL DeleteStagedFile(const char* path);

    // Hands the message buffer to the logger.
    void LogMessage();
    // Formats a line into the message buffer and hands it to the logger.
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    LogFormat(const char* format, ...);
    // Formats a line, hands it to the logger and sends it as an error tracking message.
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    LogError(const char* format, ...);
    // Sends a text as an error tracking message only, without a log line.
    void SendErrorTracking(const char* text);

    // COM stays initialised while the reader lives: declared first, released last.
    std::unique_ptr<ComInit> m_com;
    ComPtr<ISAXXMLReader> m_reader;
    Manifest::ManifestTable m_selection;
    Logger m_logger = nullptr;
    char m_message[kMessageSize] = {};
    std::list<std::string> m_processNames;
    bool m_folderSupport = false;
    std::string m_ulipBaseUrl;
    // Folder into which the package cabinet is unpacked.
    char m_destinationFolder[520] = {};
    // The package cabinet, held from its check to the end of its unpacking, and the unpacked
    // files, held until they are copied back.
    CHeldCabinet m_cabinet;
    CHeldFiles m_heldFiles;
    // The folder the cabinet is unpacked into, open and verified while it is filled and used.
    CVerifiedFolder m_staging;
    std::string m_protectedFolder;
    DWORD m_downloadTimeoutMs = CUrlDownload::kDefaultTimeoutMs;
    ULONGLONG m_downloadMaxBytes = CUrlDownload::kDefaultMaxBytes;
};

}  // namespace tw
