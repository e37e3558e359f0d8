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
#include "common/TextUtil.h"
#include "offcycle/CabinetSignature.h"
#include "offcycle/CabinetUnpacker.h"
#include "offcycle/ErrorText.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/MsxmlGuids.h"
#include "offcycle/NetworkConnectivity.h"
#include "offcycle/UlipPathRules.h"
#include "offcycle/UlipVersionText.h"
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
        if (folder) {
            // A listed file is saved aside and moved back as administrator: a text that
            // climbs out of its base folder (a ".." level, a drive, a rooted or device name)
            // would move some other file. Without such levels the path stays inside.
            const std::string path = std::string(folder) + "\\" + file;
            if (!CUlipPathRules::IsSafeRelativePath(file)) {
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

// ---- ULIP restore steps ----

namespace {

// Fixed buffer sizes of the restore: a file text, a path built from folders and names.
constexpr size_t kFileTextLimit = 259;
constexpr size_t kPathLimit = 519;
// How deep a folder being emptied is descended into.
constexpr int kMaxFolderDepth = 32;
// How often a module snapshot is retried while the process is still starting.
constexpr int kSnapshotAttempts = 5;
// Upper bound of a value read from ULIP.ini.
constexpr DWORD kProfileValueLimit = 1u << 20;

const char kUlipIniSection[] = "ULIPApplicability";

// A value of an INI file in a buffer that starts at 512 bytes and grows by 512 while the value
// may have been cut.
std::string ReadGrowingProfileString(const char* section, const char* key, const char* path) {
    std::vector<char> buffer;
    for (DWORD size = 512; size <= kProfileValueLimit; size += 512) {
        buffer.assign(size, '\0');
        DWORD length = ::GetPrivateProfileStringA(section, key, "", buffer.data(), size, path);
        if (length < size - 2) return std::string(buffer.data(), length);
    }
    return std::string(buffer.data());
}

std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return pieces;
        start = comma + 1;
    }
}

bool IsExistingFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string WithBackslash(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder : folder + '\\';
}

// The system's common program folder of the given kind followed by the product's folder;
// empty when the shell does not know it.
std::string CommonProgramFolder(int csidl) {
    char folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)) || folder[0] == '\0')
        return std::string();
    return WithBackslash(folder) + product::kMakerName + "\\" + product::kProductName + "\\";
}

const char* const kAcceptedBases[] = {"INSTALLDIR", "INSTALLDIR32BIT", "CommonAppDataFolder32Bit",
                                      "CommonAppDataFolder"};

bool IsOneOf(const std::wstring& text, std::initializer_list<const wchar_t*> values) {
    for (const wchar_t* value : values)
        if (text == value) return true;
    return false;
}

}  // namespace

HRESULT COffCycleFileSelector::RestoreULIPFiles(const char* /*triggerPath*/, const char* installDir,
                                                const char* commonDataDir) {
    if (!installDir) installDir = "";
    if (!commonDataDir) commonDataDir = "";
    try {
        RestoreULIPSteps(installDir, commonDataDir);
    } catch (...) {
        LogError("Patch: Got exception into method RestoreULIPFiles with GetLastError : %d",
                 static_cast<int>(::GetLastError()));
    }
    ReleaseHeldFiles();
    LogFormat("ULIP logic completed.");
    return S_OK;
}

void COffCycleFileSelector::RestoreULIPSteps(const char* installDir, const char* commonDataDir) {
    LogFormat("Restoring ULIP files...");

    std::string major, slipstream;
    const std::string executable = std::string(installDir) + "\\TWW.EXE";
    if (FAILED(GetTWMajorMinorVersion(executable.c_str(), major, slipstream))) {
        LogError("Patch: Failed to read TW major minor version with GetLastError : %d",
                 static_cast<int>(::GetLastError()));
        return;
    }

    std::string address;
    if (!GetURL(major, slipstream, address)) {
        LogFormat("Failed to form Akami URL");
        return;
    }

    std::string path;
    if (!RoamingFolder(path)) {
        LogError("Patch: Failed to read Raoming directory with GetLastError: %d", static_cast<int>(::GetLastError()));
        return;
    }
    path += "\\Tallyworks\\";

    const std::string country = GetTWCountry();
    if (country.empty()) {
        LogError("Patch: Failed to read Country information from patch.ini, the country value is empty");
        return;
    }

    if (FAILED(CreateDirectoryStructure(path, major, slipstream, country))) {
        LogError("Patch: Failed to create directory structure under roaming folder with GetLastError :  %d",
                 static_cast<int>(::GetLastError()));
        return;
    }

    const std::string cabinet = path + "original.twc";
    if (SendRequestAndGetResponse(address.c_str(), cabinet.c_str()) != S_OK) {
        LogError("Patch: Failed to download and save the file at SendRequestAndGetResponse()");
        DiscardCabinet(cabinet);
        return;
    }

    if (!VerifyTwcSignature(cabinet.c_str())) {
        char text[kMessageSize];
        SafeFormat(text, sizeof(text), "Patch: TWC file downloaded is not intact at path %s", cabinet.c_str());
        SendErrorTracking(text);
        LogFormat("TWC file downloaded is not intact");
        DiscardCabinet(cabinet);
        return;
    }

    if (FAILED(ExtractFromTwcFile(cabinet.c_str()))) {
        LogError("Patch: Failed while uncompressing TWC file");
        DiscardCabinet(cabinet);
        return;
    }

    LoadProcessList((path + "KillProcesses.xml").c_str());

    if (CopyOriginalFiles(installDir, path.c_str(), slipstream.c_str(), commonDataDir) != S_OK) {
        LogError("Patch: Failed while restoring or copying the ULIP files");
        return;
    }
    LogFormat("Successfully restored the ULIP files");
    if (m_folderSupport) {
        ReleaseHeldFiles();
        RemoveX32Folder(path.c_str());
        if (FAILED(DeleteDirectory(path.c_str())))
            LogError("Patch: Failed to cleanup Slipstream folder after copy");
        else
            LogFormat("Successfully cleaned up TWC country folder");
    }
}

bool COffCycleFileSelector::RoamingFolder(std::string& folder) {
    PWSTR wide = nullptr;
    const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &wide);
    std::wstring text;
    if (SUCCEEDED(hr) && wide) text = wide;
    if (wide) ::CoTaskMemFree(wide);
    if (FAILED(hr)) return false;
    // Exact: a best-fit or default character would name another folder.
    if (text.empty() || !ToNarrow(text, folder)) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    return true;
}

void COffCycleFileSelector::DiscardCabinet(const std::string& cabinet) {
    // A cabinet that was not unpacked whole is never left for a later run.
    ReleaseHeldFiles();
    if (::GetFileAttributesA(cabinet.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (!::DeleteFileA(cabinet.c_str()))
        LogFormat("In COffCycleFileSelector::RestoreULIPFiles, could not delete %s with GetLastError: %d",
                  cabinet.c_str(), static_cast<int>(::GetLastError()));
}

HRESULT COffCycleFileSelector::GetTWMajorMinorVersion(const char* executablePath, std::string& major,
                                                      std::string& slipstream) {
    if (!executablePath) executablePath = "";
    DWORD first = 0, third = 0;
    if (FAILED(GetFileVersion(executablePath, first, third))) {
        const DWORD error = ::GetLastError();
        LogError("Patch: GetTWMajorMinorVersion: Failed to read module version for file %s with GetLastError: %d",
                 executablePath, static_cast<int>(error));
        ::SetLastError(error);
        return E_FAIL;
    }
    std::string text;
    if (!CUlipVersionText::Slipstream(third, text)) {
        const DWORD error = ::GetLastError();
        LogError("Patch: GetTWMajorMinorVersion got Exception with for file patch %s GetLastError: %d", executablePath,
                 static_cast<int>(error));
        ::SetLastError(error);
        return E_FAIL;
    }
    major = CUlipVersionText::Major(first);
    slipstream = text;
    return S_OK;
}

bool COffCycleFileSelector::GetURL(const std::string& major, const std::string& slipstream, std::string& address) {
    try {
        const std::string country = GetTWCountry();
        if (country.empty()) {
            LogFormat("Failed to read Country information from patch.ini, the country value is =   %s",
                      country.c_str());
            return false;
        }
        address = m_ulipBaseUrl + country + "/ulip/" + major + "/" + slipstream + "/x64" + "/" + "original.twc";
        LogFormat("Akamai URL formed is =   %s", address.c_str());
        return true;
    } catch (...) {
        LogError("Patch: GetURL: Got exception.");
        return false;
    }
}

std::string COffCycleFileSelector::GetTWCountry() {
    try {
        char module[MAX_PATH + 1] = {};
        const DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
        std::string path(module, length < MAX_PATH ? length : 0);
        path = path.substr(0, path.find_last_of('\\') == std::string::npos ? 0 : path.find_last_of('\\')) +
               "\\patch.ini";
        char value[200] = {};
        const DWORD read = ::GetPrivateProfileStringA("autopatch", "country", "", value, sizeof(value), path.c_str());
        if (read == 0 || value[0] == '\0') {
            LogFormat("GetTWCountry() Failed to read patch.ini file at location %s with GetLastError: %d",
                      path.c_str(), static_cast<int>(::GetLastError()));
            return std::string();
        }
        std::string country(value);
        for (char& c : country) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return country;
    } catch (...) {
        LogFormat("GetTWCountry() caught an Exception with GetLastError: %d", static_cast<int>(::GetLastError()));
        return std::string();
    }
}

bool COffCycleFileSelector::RefuseStagingLevel(const std::string& path) {
    // The staging folders are emptied and filled: a link would carry that elsewhere.
    if (!CUlipPathRules::IsReparsePoint(path)) return false;
    LogError("Patch: CreateDirectoryStructure: %s is a link to another place, refused", path.c_str());
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return true;
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
            {nullptr, "Patch: CreateDirectoryStructure: Failed to create Tallyworks directory %s with GetLastError: %d"},
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
            LogFormat("CreateDirectoryStructure: Successfully created country specific directory %s with GetLastError: "
                      "%d",
                      path.c_str(), static_cast<int>(::GetLastError()));
            return S_OK;
        }

        // Left by an earlier run: emptied and created again.
        if (RefuseStagingLevel(path + "x32")) return E_FAIL;
        ReleaseHeldFiles();
        RemoveX32Folder(path.c_str());
        if (FAILED(DeleteDirectory(path.c_str()))) {
            const DWORD deleteError = ::GetLastError();
            LogError("Patch: CreateDirectoryStrcture: Failed to delete country specific directory %s with "
                     "GetLastError: %d",
                     path.c_str(), static_cast<int>(deleteError));
            ::SetLastError(deleteError);
            return E_FAIL;
        }
        if (!::CreateDirectoryA(path.c_str(), nullptr)) {
            const DWORD createError = ::GetLastError();
            LogError("Patch: CreateDirectoryStrcture: 2nd attempt, Failed to create country specific directory %s "
                     "with GetLastError: %d",
                     path.c_str(), static_cast<int>(createError));
            ::SetLastError(createError);
            return E_FAIL;
        }
        return S_OK;
    } catch (...) {
        LogError("Patch: CreateDirectoryStructure: Got exception: %d", static_cast<int>(::GetLastError()));
        return E_FAIL;
    }
}

HRESULT COffCycleFileSelector::DeleteDirectory(const char* folder) {
    try {
        return DeleteFolderTree(folder ? folder : "", 0);
    } catch (...) {
        LogError("Patch: COffCycleFileSelector::DeleteDirectory: Throws exception");
        return E_FAIL;
    }
}

HRESULT COffCycleFileSelector::DeleteFolderTree(const std::string& folder, int depth) {
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : CUlipPathRules::EntryAttributes(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        LogError("Patch: COffCycleFileSelector::DeleteDirectory: This directory does not exist");
        return E_FAIL;
    }
    // A link is removed itself; what it points to is never visited.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAA entry;
        FindHandle listing(::FindFirstFileA(JoinPath(folder, "*").c_str(), &entry));
        if (!listing) {
            LogFormat("There is no file present in current directory : %s", folder.c_str());
        } else {
            do {
                const std::string name = entry.cFileName;
                if (name == "." || name == "..") continue;
                const std::string entryPath = JoinPath(folder, name);
                BOOL deleted = FALSE;
                DWORD error = 0;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    deleted = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryA(entryPath.c_str())
                                                                                  : ::DeleteFileA(entryPath.c_str());
                    error = ::GetLastError();
                } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (depth < kMaxFolderDepth) {
                        deleted = SUCCEEDED(DeleteFolderTree(entryPath + "\\", depth + 1));
                        error = ::GetLastError();
                    } else {
                        error = ERROR_FILENAME_EXCED_RANGE;
                    }
                } else {
                    ::SetFileAttributesA(entryPath.c_str(), FILE_ATTRIBUTE_NORMAL);
                    deleted = ::DeleteFileA(entryPath.c_str());
                    error = ::GetLastError();
                }
                if (!deleted)
                    LogError("Patch: Failed to delete the File : %s  with GetLastError: %d", name.c_str(),
                             static_cast<int>(error));
            } while (::FindNextFileA(listing.Get(), &entry));
        }
    }
    if (!::RemoveDirectoryA(folder.c_str())) {
        const DWORD error = ::GetLastError();
        LogError("Patch: Failed to delete the directory : %s  with GetLastError: %d", folder.c_str(),
                 static_cast<int>(error));
        ::SetLastError(error);
        return E_FAIL;
    }
    return S_OK;
}

void COffCycleFileSelector::RemoveX32Folder(const char* folder) {
    const std::string x32 = WithBackslash(folder ? folder : "") + "x32\\";
    if (IsExistingFolder(x32)) DeleteDirectory(x32.c_str());
}

void COffCycleFileSelector::LoadProcessList(const char* path) {
    if (!path || ::_access(path, 0) != 0) return;
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
            LogFormat("In COffCycleFileSelector::CopyOriginalFiles, file %s has no name of at most %u characters in "
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
                LogFormat("In COffCycleFileSelector::CopyOriginalFiles, %s does not name a file inside its folder, "
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
        if (!common && m_folderSupport) common = IsOneOf(item->base, {L"CommonAppDataFolder32Bit", L"CommonAppDataFolder"});

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
            LogFormat("In COffCycleFileSelector::CopyOriginalFiles, the common program folder for %s is not known, "
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
    if (::ReplaceFileA(destination, temporary, previous.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                       nullptr)) {
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
