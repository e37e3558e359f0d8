#include "app/PatchPackageCheck.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <cstring>
#include <vector>

#include "common/Handles.h"
#include "common/PatchSummary.h"
#include "common/TextUtil.h"

namespace tw {

namespace {

// Storage class Windows Installer gives patch packages.
constexpr CLSID kPatchStorageClass = {0x000C1086, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr int kMaxStorageDepth = 8;

std::wstring Wide(const std::string& text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// Frees the name that IStorage::Stat and IEnumSTATSTG allocate.
struct StatStg {
    STATSTG stat{};
    ~StatStg() {
        if (stat.pwcsName) ::CoTaskMemFree(stat.pwcsName);
    }
};

// Reads every stream of the storage and its substorages to the end: a package cut short
// fails here, before Windows Installer meets the missing part.
HRESULT ReadEveryStream(IStorage* storage, int depth, std::string* where) {
    if (depth > kMaxStorageDepth) return STG_E_DOCFILECORRUPT;
    ComPtr<IEnumSTATSTG> elements;
    HRESULT hr = storage->EnumElements(0, nullptr, 0, elements.Put());
    if (FAILED(hr)) return hr;
    std::vector<char> block(64 * 1024);
    for (;;) {
        StatStg element;
        ULONG fetched = 0;
        hr = elements->Next(1, &element.stat, &fetched);
        if (FAILED(hr)) return hr;
        if (hr != S_OK || fetched == 0) return S_OK;
        if (element.stat.type == STGTY_STORAGE) {
            ComPtr<IStorage> child;
            hr = storage->OpenStorage(element.stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                      child.Put());
            if (FAILED(hr)) return hr;
            hr = ReadEveryStream(child.Get(), depth + 1, where);
            if (FAILED(hr)) return hr;
        } else if (element.stat.type == STGTY_STREAM) {
            ComPtr<IStream> stream;
            hr = storage->OpenStream(element.stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put());
            if (FAILED(hr)) return hr;
            ULONGLONG total = 0;
            for (;;) {
                ULONG got = 0;
                hr = stream->Read(block.data(), static_cast<ULONG>(block.size()), &got);
                if (FAILED(hr)) return hr;
                if (got == 0) break;
                total += got;
            }
            if (total != element.stat.cbSize.QuadPart) {
                *where = FormatString("a stream holds %llu of its %llu bytes", static_cast<unsigned long long>(total),
                                      static_cast<unsigned long long>(element.stat.cbSize.QuadPart));
                return STG_E_DOCFILECORRUPT;
            }
        }
    }
}

}  // namespace

CPatchPackageCheck::Facts CPatchPackageCheck::Inspect(const std::string& path) {
    Facts facts;
    auto fault = [&facts](Refusal refusal, std::string text) {
        facts.fault = refusal;
        facts.faultText = std::move(text);
        return facts;
    };
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return fault(Refusal::Missing, FormatString("it cannot be found (error %lu)", ::GetLastError()));
    facts.found = true;
    facts.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (facts.size == 0) return fault(Refusal::Empty, "it is empty");

    {
        ComInit com;
        ComPtr<IStorage> root;
        HRESULT hr =
            ::StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, root.Put());
        if (FAILED(hr))
            return fault(Refusal::NotPackage, FormatString("it is not a Windows Installer package (0x%08lx)",
                                                           static_cast<unsigned long>(hr)));
        StatStg stat;
        hr = root->Stat(&stat.stat, STATFLAG_NONAME);
        if (FAILED(hr) || !::IsEqualCLSID(stat.stat.clsid, kPatchStorageClass))
            return fault(Refusal::NotPatch, "it is not a patch package");
        std::string where;
        hr = ReadEveryStream(root.Get(), 0, &where);
        if (FAILED(hr))
            return fault(Refusal::Damaged, FormatString("it is damaged (0x%08lx%s%s)", static_cast<unsigned long>(hr),
                                                        where.empty() ? "" : ", ", where.c_str()));
    }

    MsiHandle database;
    // Read-only patch mode: the persist argument is the mode's number passed as a pointer.
    const auto patchReadOnly = reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(MSIDBOPEN_PATCHFILE));
    UINT rc = ::MsiOpenDatabaseA(path.c_str(), patchReadOnly, database.Put());
    if (rc != ERROR_SUCCESS)
        return fault(Refusal::NotPatch, FormatString("it cannot be opened as a patch package (error %u)", rc));
    MsiHandle summary;
    rc = ::MsiGetSummaryInformationA(database.Get(), nullptr, 0, summary.Put());
    if (rc != ERROR_SUCCESS)
        return fault(Refusal::NoSummary, FormatString("its summary information cannot be read (error %u)", rc));
    if (!CPatchSummary::ReadText(summary.Get(), CPatchSummary::kPidTemplate, facts.targets)) facts.targets.clear();
    if (!CPatchSummary::ReadText(summary.Get(), CPatchSummary::kPidLastAuthor, facts.transforms))
        facts.transforms.clear();
    return facts;
}

CPatchPackageCheck::Verdict CPatchPackageCheck::Judge(const Facts& facts, const std::string& productCode) {
    if (facts.fault != Refusal::None) return {facts.fault, facts.faultText};
    if (facts.targets.empty()) return {Refusal::NoProduct, "its summary information names no product"};
    if (!CPatchSummary::ListHolds(facts.targets, productCode))
        return {Refusal::OtherProduct, FormatString("it is for another product (%s)", facts.targets.c_str())};
    if (facts.transforms.empty()) return {Refusal::NoTransforms, "it holds no transforms"};
    return {};
}

bool CPatchPackageCheck::Check(const std::string& path, const std::string& productCode, std::string* problem) {
    const Verdict verdict = Judge(Inspect(path), productCode);
    if (problem) *problem = verdict.reason;
    return verdict.refusal == Refusal::None;
}

}  // namespace tw
