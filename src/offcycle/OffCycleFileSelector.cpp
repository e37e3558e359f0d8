#include "offcycle/OffCycleFileSelector.h"

#include <io.h>
#include <objbase.h>
#include <netlistmgr.h>
#include <urlmon.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/Handles.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "offcycle/CabinetSignature.h"
#include "offcycle/CabinetUnpacker.h"
#include "offcycle/ErrorText.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/MsxmlGuids.h"
#include "offcycle/NetworkConnectivity.h"
#include "common/ProductConstants.h"
#include "logging/InstallTracker.h"

namespace tw {

namespace {

// Flags and used-default pointer for an exact conversion into the ANSI code page. A UTF-8
// code page takes neither the best-fit flag nor the pointer; it rejects invalid input instead.
struct ExactConversion {
    ExactConversion() : utf8(::GetACP() == CP_UTF8) {}
    DWORD Flags() const { return utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS; }
    BOOL* UsedDefault() { return utf8 ? nullptr : &usedDefault; }
    bool utf8;
    BOOL usedDefault = FALSE;
};

// The name in the ANSI code page, which the "A" file functions use; false when a character
// has no exact form there: a default or best-fit character would name another file.
bool ToNarrow(const std::wstring& wide, std::string& narrow) {
    narrow.clear();
    if (wide.empty()) return true;
    if (wide.size() > static_cast<size_t>(INT_MAX)) return false;
    const int wideLength = static_cast<int>(wide.size());
    ExactConversion conversion;
    int length = ::WideCharToMultiByte(CP_ACP, conversion.Flags(), wide.data(), wideLength, nullptr, 0, nullptr,
                                       conversion.UsedDefault());
    if (length <= 0 || conversion.usedDefault) return false;
    std::string buffer(static_cast<size_t>(length), '\0');
    int written = ::WideCharToMultiByte(CP_ACP, conversion.Flags(), wide.data(), wideLength, &buffer[0], length,
                                        nullptr, conversion.UsedDefault());
    if (written != length || conversion.usedDefault) return false;
    if (buffer.find('\0') != std::string::npos) return false;  // a zero would cut the name short
    narrow.swap(buffer);
    return true;
}

// A wide text for log lines only: characters without an exact form become '?'.
std::string LogText(const std::wstring& wide) {
    std::string narrow;
    if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX)) return narrow;
    const int wideLength = static_cast<int>(wide.size());
    const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int length = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return narrow;
    narrow.assign(static_cast<size_t>(length), '\0');
    int written = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, &narrow[0], length, nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
    for (char& c : narrow)
        if (c == '\0') c = '?';
    return narrow;
}

// A feature name from the configuration, read in the ANSI code page as the manifests are.
bool ToWide(const char* narrow, std::wstring& wide) {
    wide.clear();
    const size_t size = std::strlen(narrow);
    if (size == 0) return true;
    if (size > static_cast<size_t>(INT_MAX)) return false;
    const int narrowLength = static_cast<int>(size);
    int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow, narrowLength, nullptr, 0);
    if (length <= 0) return false;
    std::wstring buffer(static_cast<size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow, narrowLength, &buffer[0], length) != length)
        return false;
    wide.swap(buffer);
    return true;
}

}  // namespace

COffCycleFileSelector::COffCycleFileSelector() : m_ulipBaseUrl(product::kUlipBaseUrl) {}

COffCycleFileSelector::~COffCycleFileSelector() = default;

void COffCycleFileSelector::SetLogger(Logger logger) { m_logger = logger; }

void COffCycleFileSelector::SetUlipBaseUrl(const char* baseUrl) { m_ulipBaseUrl = baseUrl ? baseUrl : ""; }

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
        files.push_back(folder ? std::string(folder) + "\\" + file : file);
    }
    return S_OK;
}

// PLACEHOLDER until the ULIP common-file restore is built: it logs that the restore was
// asked for and succeeds, as the real restore always does.
HRESULT COffCycleFileSelector::RestoreULIPFiles(const char* triggerPath, const char* /*installDir*/,
                                                const char* /*commonDataDir*/) {
    LogFormat("In COffCycleFileSelector::RestoreULIPFiles, ULIP restore not built yet, skipped for trigger %s",
              triggerPath ? triggerPath : "");
    return S_OK;
}

// ---- ULIP restore steps (PLACEHOLDERS: each fails until built) ----

HRESULT COffCycleFileSelector::GetTWMajorMinorVersion(const char*, std::string&, std::string&) { return E_NOTIMPL; }
bool COffCycleFileSelector::GetURL(const std::string&, const std::string&, std::string&) { return false; }
std::string COffCycleFileSelector::GetTWCountry() { return std::string(); }
HRESULT COffCycleFileSelector::CreateDirectoryStructure(std::string&, const std::string&, const std::string&,
                                                        const std::string&) {
    return E_NOTIMPL;
}
HRESULT COffCycleFileSelector::DeleteDirectory(const char*) { return E_NOTIMPL; }
void COffCycleFileSelector::RemoveX32Folder(const char*) {}

void COffCycleFileSelector::LoadProcessList(const char*) {}
void COffCycleFileSelector::RetrieveProcessWithLoadedModule(const char*) {}
bool COffCycleFileSelector::IsModuleLoadedInProcess(DWORD, const char*) { return false; }
bool COffCycleFileSelector::SetPrivilege(HANDLE, const char*, bool) { return false; }

HRESULT COffCycleFileSelector::CopyOriginalFiles(const char*, const char*, const char*, const char*) {
    return E_NOTIMPL;
}
void COffCycleFileSelector::ReadULIPIni(const char*, const char*, std::set<std::string>&) {}
bool COffCycleFileSelector::IsULIPNewFolderCodeEnabled(const char*, const char*) { return false; }
bool COffCycleFileSelector::CopyAndDelete(const char*, const char*) { return false; }
void COffCycleFileSelector::DeleteBackupFile(const char*) {}
HRESULT COffCycleFileSelector::GetFileVersion(const char*, DWORD&, DWORD&) { return E_NOTIMPL; }

// ---- package cabinet and download ----

void COffCycleFileSelector::SetDownloadLimits(DWORD timeoutMs, ULONGLONG maxBytes) {
    m_downloadTimeoutMs = timeoutMs;
    m_downloadMaxBytes = maxBytes;
}

bool COffCycleFileSelector::VerifyTwcSignature(const char* cabinetPath) {
    try {
        // The cabinet stays open, without write or delete sharing, until its unpacking ends:
        // the signature is checked, and the cabinet later unpacked, through this one handle.
        if (!m_cabinet.Open(cabinetPath)) {
            CCabinetSignature::RevokeProcessTrust();
            return false;
        }
        if (CCabinetSignature::VerifyTrust(m_cabinet.Handle(), cabinetPath) != 0)
            CCabinetSignature::RevokeProcessTrust();
        std::string signer;
        const bool confirmed = CCabinetSignature::ReadSignerName(m_cabinet.Handle(), cabinetPath, signer) &&
                               CCabinetSignature::IsMakerName(signer.c_str());
        if (!confirmed) CCabinetSignature::RevokeProcessTrust();
        const bool intact = confirmed && CCabinetSignature::ProcessTrusted();
        if (!intact) m_cabinet.Release();
        return intact;
    } catch (...) {
        m_cabinet.Release();
        CCabinetSignature::RevokeProcessTrust();
        return false;
    }
}

HRESULT COffCycleFileSelector::ExtractFromTwcFile(const char* cabinetPath) {
    if (!cabinetPath) cabinetPath = "";
    LogFormat("Entered ExtractFromTwcFile() with twc path : %s", cabinetPath);
    // The folder of the cabinet with its backslash; a path too long for it unpacks nowhere.
    m_destinationFolder[0] = '\0';
    if (const char* slash = std::strrchr(cabinetPath, '\\')) {
        const size_t length = static_cast<size_t>(slash - cabinetPath) + 1;
        if (length < sizeof(m_destinationFolder)) {
            std::memcpy(m_destinationFolder, cabinetPath, length);
            m_destinationFolder[length] = '\0';
        }
    }
    bool extracted = false;
    try {
        extracted = ExtractTwcThroughFDI(cabinetPath);
    } catch (...) {
        extracted = false;
    }
    const DWORD error = ::GetLastError();
    m_cabinet.Release();
    if (!extracted) {
        LogError("Patch: ExtractTwcThroughFDI() failed, GetLastError(): returned %d", static_cast<int>(error));
        return E_FAIL;
    }
    LogFormat("ExtractTwcThroughFDI() was successful, GetLastError(): returned %d", static_cast<int>(error));
    return S_OK;
}

bool COffCycleFileSelector::ExtractTwcThroughFDI(const char* cabinetPath) {
    CCabinetUnpacker unpacker(m_cabinet, m_destinationFolder, m_heldFiles);
    const CCabinetUnpacker::Stage stage = unpacker.Run(cabinetPath);
    const int error = static_cast<int>(::GetLastError());
    switch (stage) {
        case CCabinetUnpacker::Stage::Done:
            return true;
        case CCabinetUnpacker::Stage::Create:
            LogError("Patch: FDICreate() returned NULL in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): "
                     "returned %d",
                     error);
            break;
        case CCabinetUnpacker::Stage::Open:
            LogError("Patch: file_open() returned -1 in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): "
                     "returned %d",
                     error);
            break;
        case CCabinetUnpacker::Stage::NotCabinet:
            LogError("Patch: FDIIsCabinet() returned FALSE in COffCycleFileSelector::ExtractTwcThroughFDI(), "
                     "GetLastError(): returned %d",
                     error);
            break;
        case CCabinetUnpacker::Stage::Copy:
            if (!unpacker.RefusedEntry().empty())
                LogFormat("In COffCycleFileSelector::ExtractTwcThroughFDI, refused the cabinet entry \"%s\"",
                          unpacker.RefusedEntry().c_str());
            LogError("Patch: FDICopy() returned FALSE in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): "
                     "returned %d",
                     error);
            break;
        case CCabinetUnpacker::Stage::Destroy:
            LogError("Patch: FDIDestroy() returned FALSE in COffCycleFileSelector::ExtractTwcThroughFDI(), "
                     "GetLastError(): returned %d",
                     error);
            break;
    }
    ::SetLastError(static_cast<DWORD>(error));
    return false;
}

void COffCycleFileSelector::ReleaseHeldFile(const char* path) { m_heldFiles.Release(path); }

void COffCycleFileSelector::ReleaseHeldFiles() {
    m_heldFiles.ReleaseAll();
    m_cabinet.Release();
}

DWORD COffCycleFileSelector::CheckInternetConnection() {
    try {
        DWORD connected = TRUE;
        DWORD flags = 0;
        // Only the manager's answer that the machine is offline stops the download.
        if (SUCCEEDED(CNetworkConnectivity::Query(flags))) {
            if (flags == NLM_CONNECTIVITY_DISCONNECTED) {
                LogFormat("CheckInternetConnection(): no internet connection, con has NLM_CONNECTIVITY_DISCONNECTED");
                connected = FALSE;
            }
            if (!(flags & (NLM_CONNECTIVITY_IPV4_INTERNET | NLM_CONNECTIVITY_IPV6_INTERNET))) {
                LogFormat("CheckInternetConnection(): no internet connection, con has value other than "
                          "NLM_CONNECTIVITY_IPV4_INTERNET and NLM_CONNECTIVITY_IPV6_INTERNET");
                connected = FALSE;
            }
        }
        return connected;
    } catch (...) {
        LogFormat("CheckInternetConnection(): got an exception with GetLastError:  %d", static_cast<int>(::GetLastError()));
        return FALSE;
    }
}

HRESULT COffCycleFileSelector::SendRequestAndGetResponse(const char* address, const char* targetPath) {
    if (!address) address = "";
    if (!targetPath) targetPath = "";
    LogFormat("Entered into SendRequestAndGetResponse");
    HRESULT hr = E_FAIL;
    if (CheckInternetConnection()) {
        CUrlDownload download(m_downloadTimeoutMs, m_downloadMaxBytes);
        hr = download.Download(address, targetPath);
        const int error = static_cast<int>(download.LastError());
        if (hr == S_OK)
            LogError("Successfully downloaded the  TWC from URL : %s  with GetLastError : %d", address, error);
        else if (hr == E_OUTOFMEMORY && !download.OverBound())
            LogError("Patch: Buffer length invalid, or insufficient memory with GetLastError :  %d", error);
        else if (hr == INET_E_DOWNLOAD_FAILURE && !download.OverBound())
            LogError("Patch: URL is invalid with GetLastError :  %d", error);
        else
            LogError("Failed downloading TWC file from URL : %s GetLastError : %d and ret : %x.", address, error,
                     static_cast<unsigned>(hr));
    }
    LogFormat("Exited from SendRequestAndGetResponse");
    return hr;
}

}  // namespace tw
