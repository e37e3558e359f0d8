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
#include "common/PathRules.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "offcycle/ulip/CabinetSignature.h"
#include "offcycle/ulip/CabinetUnpacker.h"
#include "offcycle/ErrorText.h"
#include "offcycle/WideText.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/MsxmlGuids.h"
#include "offcycle/ulip/NetworkConnectivity.h"
#include "offcycle/ulip/UlipVersionText.h"
#include "common/ProductConstants.h"
#include "logging/InstallTracker.h"

namespace tw {

COffCycleFileSelector::COffCycleFileSelector() : m_ulipBaseUrl(product::kUlipBaseUrl) {}

COffCycleFileSelector::~COffCycleFileSelector() = default;

void COffCycleFileSelector::SetLogger(Logger logger) { m_logger = logger; }

void COffCycleFileSelector::SetUlipBaseUrl(const char* baseUrl) { m_ulipBaseUrl = baseUrl ? baseUrl : ""; }

void COffCycleFileSelector::SetProtectedFolder(const char* folder) { m_protectedFolder = folder ? folder : ""; }

void COffCycleFileSelector::LogMessage() {
    if (m_logger) m_logger(m_message);
}

void COffCycleFileSelector::LogFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SafeFormatV(m_message, sizeof(m_message), format, args);
    va_end(args);
    LogMessage();
}

void COffCycleFileSelector::LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SafeFormatV(m_message, sizeof(m_message), format, args);
    va_end(args);
    LogMessage();
    SendErrorTracking(m_message);
}

void COffCycleFileSelector::SendErrorTracking(const char* text) {
    InstallTracker::Instance().SendTrackingMessage(0, text, true);
}

HRESULT COffCycleFileSelector::InitializeReader() {
    if (m_reader) return S_OK;
    std::unique_ptr<ComInit> com(new (std::nothrow) ComInit());
    if (!com) return E_OUTOFMEMORY;
    HRESULT hr = com->Result();
    if (FAILED(hr)) return hr;
    ComPtr<ISAXXMLReader> reader;
    hr = ::CoCreateInstance(Manifest::kClsidSAXXMLReader60, nullptr, CLSCTX_ALL, Manifest::kIidISAXXMLReader,
                            reader.PutVoid());
    // Without a reader the initialisation is balanced here, when com goes out of scope.
    if (FAILED(hr)) return hr;
    m_com = std::move(com);
    m_reader = std::move(reader);
    return hr;
}

HRESULT COffCycleFileSelector::LoadAllManifests(const char* folder, const char* installDir, const char* commonDataDir) {
    if (!folder) folder = "";
    // An empty folder searches the root of the current drive.
    const std::string pattern = *folder ? JoinPath(folder, "*.xml") : std::string("\\*.xml");
    LogFormat("In COffCycleFileSelector::LoadAllManifests, looking for manifest files: %s", pattern.c_str());

    struct _finddata64i32_t entry;
    CrtFindHandle search(::_findfirst64i32(pattern.c_str(), &entry));
    if (!search) {
        int error = errno;
        if (error == ENOENT) {
            LogFormat("In COffCycleFileSelector::LoadAllManifests, no matching manifest files");
            return S_OK;
        }
        DWORD systemError = ::GetLastError();
        LogFormat("In COffCycleFileSelector::LoadAllManifests, error searching for manifest files: %s[%i]",
                  SystemErrorText(systemError).c_str(), static_cast<int>(systemError));
        return HResultFromErrno(error);
    }

    do {
        if (entry.attrib & _A_SUBDIR) continue;
        std::string path = std::string(folder) + "\\" + entry.name;
        HRESULT hr;
        if (::_strnicmp(entry.name, "ulip0", 5) == 0)
            hr = RestoreULIPFiles(path.c_str(), installDir, commonDataDir);
        else
            hr = LoadManifestFile(path.c_str());
        if (FAILED(hr)) {
            DWORD code = static_cast<DWORD>(hr) & 0xFFFFu;
            LogFormat("In COffCycleFileSelector::LoadAllManifests, could not load manifest file \"%s\", %s[%i]",
                      entry.name, SystemErrorText(code).c_str(), static_cast<int>(code));
        } else {
            LogFormat("In COffCycleFileSelector::LoadAllManifests, loaded manifest file \"%s\"", entry.name);
        }
    } while (::_findnext64i32(search.Get(), &entry) == 0);
    return S_OK;
}

HRESULT COffCycleFileSelector::LoadManifestFile(const char* path) {
    HRESULT hr = InitializeReader();
    if (FAILED(hr)) {
        LogFormat("Error initializing COM");
        return hr;
    }

    std::unique_ptr<Manifest::SAXContentHandlerStateFactory> factory;
    Manifest::ManifestTable manifest;
    hr = Manifest::ParseManifestFile(factory, manifest, path, m_reader.Get());
    if (FAILED(hr)) {
        LogFormat("Error loading manifest");
        return hr;
    }

    if (manifest.manifestVersion != 1 || manifest.manifestType != L"offcycle") return E_FAIL;

    // The selection takes the items over; equal feature names accumulate in load order.
    m_selection.items.insert(std::make_move_iterator(manifest.items.begin()),
                             std::make_move_iterator(manifest.items.end()));
    manifest.items.clear();
    return S_OK;
}

HRESULT COffCycleFileSelector::GetFilesForFeature(const char* feature, std::list<std::string>& files,
                                                  const char* installDir, const char* commonDataDir) {
    if (!feature) feature = "";
    if (!installDir) installDir = "";
    if (!commonDataDir) commonDataDir = "";

    using Iterator = Manifest::ManifestTable::ItemMap::const_iterator;
    Iterator first = m_selection.items.end(), last = m_selection.items.end();
    if (feature[0] == '\0' || ::_stricmp(feature, "all") == 0) {
        first = m_selection.items.begin();
    } else {
        std::wstring wideFeature;
        if (ToWide(feature, wideFeature)) {
            auto range = m_selection.items.equal_range(wideFeature);
            first = range.first;
            last = range.second;
        }
    }

    for (Iterator it = first; it != last; ++it) {
        const Manifest::ManifestItem* item = it->second.get();
        if (!item || item->feature.empty()) continue;
        // An item whose path cannot be formed is skipped: an empty or cut name would resolve
        // to the folder itself or to some other file.
        if (item->file.empty()) {
            LogFormat("In COffCycleFileSelector::GetFilesForFeature, an item of feature %s names no file, skipped",
                      LogText(item->feature).c_str());
            continue;
        }
        std::string file;
        if (!ToNarrow(item->file, file)) {
            LogFormat(
                "In COffCycleFileSelector::GetFilesForFeature, file %s of feature %s has no name in the ANSI "
                "code page, skipped",
                LogText(item->file).c_str(), LogText(item->feature).c_str());
            continue;
        }
        const char* folder = nullptr;
        if (item->base == L"INSTALLDIR")
            folder = installDir;
        else if (item->base == L"CommonAppDataFolder")
            folder = commonDataDir;
        if (folder && folder[0] == '\0') {
            LogFormat(
                "In COffCycleFileSelector::GetFilesForFeature, file %s of feature %s: the folder of base %s is "
                "not known, skipped",
                file.c_str(), LogText(item->feature).c_str(), LogText(item->base).c_str());
            continue;
        }
        if (folder) {
            // A listed file is saved aside and moved back as administrator: a text that
            // climbs out of its base folder (a ".." level, a drive, a rooted or device name)
            // would move some other file.
            const std::string path = std::string(folder) + "\\" + file;
            if (!CPathRules::IsNameInsideFolder(folder, file)) {
                LogFormat(
                    "In COffCycleFileSelector::GetFilesForFeature, file %s of feature %s does not name a file "
                    "inside its folder, skipped",
                    file.c_str(), LogText(item->feature).c_str());
                continue;
            }
            files.push_back(path);
        } else {
            files.push_back(file);
        }
    }
    return S_OK;
}

}  // namespace tw
