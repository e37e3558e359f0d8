#pragma once
// Finds and loads the off-cycle manifests of a folder, keeps the items of every accepted
// manifest, and tells the full paths of the files listed for a feature. A manifest file
// whose name begins with "ulip0" starts the ULIP common-file restore instead.

#include <windows.h>
#include <msxml2.h>

#include <list>
#include <memory>
#include <string>

#include "common/Handles.h"

#include "offcycle/ManifestTable.h"

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

protected:
    static constexpr size_t kMessageSize = 2048;

    // Creates the MSXML 6 SAX reader on first need (initialising COM for the thread).
    HRESULT InitializeReader();
    // Loads one off-cycle manifest; only version 1 of type "offcycle" is accepted.
    HRESULT LoadManifestFile(const char* path);

    // Hands the message buffer to the logger.
    void LogMessage();
    // Formats a line into the message buffer and hands it to the logger.
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    LogFormat(const char* format, ...);

    // COM stays initialised while the reader lives: declared first, released last.
    std::unique_ptr<ComInit> m_com;
    ComPtr<ISAXXMLReader> m_reader;
    Manifest::ManifestTable m_selection;
    Logger m_logger = nullptr;
    char m_message[kMessageSize] = {};
    std::list<std::string> m_processNames;
    bool m_folderSupport = false;
};

}  // namespace tw
