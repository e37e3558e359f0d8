#include "offcycle/OffCycleFileSelector.h"

#include <io.h>
#include <objbase.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/Handles.h"
#include "common/TextUtil.h"
#include "offcycle/ErrorText.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/MsxmlGuids.h"

namespace tw {

namespace {

// Narrow text of a wide string in the C runtime's current locale; false when a character
// has no narrow form.
bool ToNarrow(const std::wstring& wide, std::string& narrow) {
    size_t length = std::wcstombs(nullptr, wide.c_str(), 0);
    if (length == static_cast<size_t>(-1)) return false;
    std::vector<char> buffer(length + 1, '\0');
    std::wcstombs(buffer.data(), wide.c_str(), length + 1);
    narrow.assign(buffer.data(), length);
    return true;
}

bool ToWide(const char* narrow, std::wstring& wide) {
    size_t length = std::mbstowcs(nullptr, narrow, 0);
    if (length == static_cast<size_t>(-1)) return false;
    std::vector<wchar_t> buffer(length + 1, L'\0');
    std::mbstowcs(buffer.data(), narrow, length + 1);
    wide.assign(buffer.data(), length);
    return true;
}

}  // namespace

COffCycleFileSelector::COffCycleFileSelector() = default;

COffCycleFileSelector::~COffCycleFileSelector() {
    if (m_reader) {
        m_reader->Release();
        m_reader = nullptr;
        ::CoUninitialize();
    }
}

void COffCycleFileSelector::SetLogger(Logger logger) {
    m_logger = logger;
}

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

HRESULT COffCycleFileSelector::InitializeReader() {
    if (m_reader) return S_OK;
    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr)) return hr;
    hr = ::CoCreateInstance(Manifest::kClsidSAXXMLReader60, nullptr, CLSCTX_ALL, Manifest::kIidISAXXMLReader,
                            reinterpret_cast<void**>(&m_reader));
    if (FAILED(hr)) {
        // Without a reader the destructor does not balance the initialisation; do it here.
        m_reader = nullptr;
        ::CoUninitialize();
    }
    return hr;
}

HRESULT COffCycleFileSelector::LoadAllManifests(const char* folder, const char* installDir,
                                                const char* commonDataDir) {
    if (!folder) folder = "";
    std::string pattern = folder;
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += "\\";
    pattern += "*.xml";
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
    hr = Manifest::ParseManifestFile(factory, manifest, path, m_reader);
    if (FAILED(hr)) {
        LogFormat("Error loading manifest");
        return hr;
    }

    if (manifest.manifestVersion != 1 || manifest.manifestType != L"offcycle") return E_FAIL;

    // The selection takes the items over; equal feature names accumulate in load order.
    m_selection.items.insert(manifest.items.begin(), manifest.items.end());
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
        const Manifest::ManifestItem* item = it->second;
        if (!item || item->feature.empty()) continue;
        std::string file;
        if (!ToNarrow(item->file, file)) continue;  // no narrow form: cannot be opened by name
        if (item->base == L"INSTALLDIR")
            files.push_back(std::string(installDir) + "\\" + file);
        else if (item->base == L"CommonAppDataFolder")
            files.push_back(std::string(commonDataDir) + "\\" + file);
        else
            files.push_back(file);
    }
    return S_OK;
}

// PLACEHOLDER until the ULIP common-file restore is built: it logs that the restore was
// asked for and succeeds, as the real restore always does.
HRESULT COffCycleFileSelector::RestoreULIPFiles(const char* triggerPath, const char* installDir,
                                                const char* commonDataDir) {
    LogFormat("In COffCycleFileSelector::RestoreULIPFiles, ULIP restore not built yet, skipped for trigger %s",
              triggerPath ? triggerPath : "");
    return S_OK;
}

}  // namespace tw
