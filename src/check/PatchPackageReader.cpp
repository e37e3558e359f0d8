#include "check/PatchPackageReader.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <cstring>

#include "common/Handles.h"
#include "common/PatchSummary.h"
#include "common/TextUtil.h"

namespace twcheck {
namespace {

constexpr uint32_t kVtLpstr = 30;
// A transform's summary stream is small; anything larger is not one.
constexpr size_t kMaxSummaryStream = 64 * 1024;

uint32_t ReadU32(const std::vector<uint8_t>& data, size_t offset) {
    return static_cast<uint32_t>(data[offset]) | (static_cast<uint32_t>(data[offset + 1]) << 8) |
           (static_cast<uint32_t>(data[offset + 2]) << 16) | (static_cast<uint32_t>(data[offset + 3]) << 24);
}

std::wstring Wide(const std::string& text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring out(static_cast<size_t>(n - 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
    return out;
}

// Windows Installer's packed form of a storage name: two characters of [0-9A-Za-z._] per
// UTF-16 unit, other characters as they are.
std::wstring EncodeStorageName(const std::string& name) {
    auto code = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
        if (c >= 'a' && c <= 'z') return c - 'a' + 36;
        if (c == '.') return 62;
        if (c == '_') return 63;
        return -1;
    };
    std::wstring out;
    for (size_t i = 0; i < name.size(); ++i) {
        int a = code(name[i]);
        if (a < 0) {
            out += static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
            continue;
        }
        int b = i + 1 < name.size() ? code(name[i + 1]) : -1;
        if (b >= 0) {
            out += static_cast<wchar_t>(0x3800 + a + (b << 6));
            ++i;
        } else {
            out += static_cast<wchar_t>(0x4800 + a);
        }
    }
    return out;
}

// The summary stream of the named transform substorage of the patch file.
bool ReadTransformSummary(const std::string& path, const std::string& transform, std::vector<uint8_t>& stream) {
    tw::ComPtr<IStorage> root;
    if (FAILED(
            ::StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, root.Put())))
        return false;
    tw::ComPtr<IStorage> storage;
    const DWORD mode = STGM_READ | STGM_SHARE_EXCLUSIVE;
    if (FAILED(root->OpenStorage(Wide(transform).c_str(), nullptr, mode, nullptr, 0, storage.Put())) &&
        FAILED(root->OpenStorage(EncodeStorageName(transform).c_str(), nullptr, mode, nullptr, 0, storage.Put())))
        return false;
    tw::ComPtr<IStream> summary;
    if (FAILED(storage->OpenStream(L"\005SummaryInformation", nullptr, mode, 0, summary.Put()))) return false;
    uint8_t block[4096];
    ULONG got = 0;
    HRESULT hr;
    while (SUCCEEDED(hr = summary->Read(block, sizeof(block), &got)) && got > 0) {
        stream.insert(stream.end(), block, block + got);
        if (stream.size() > kMaxSummaryStream) return false;
    }
    return SUCCEEDED(hr);
}

}  // namespace

bool CPatchPackageReader::ReadSummaryText(const std::vector<uint8_t>& stream, uint32_t pid, std::string& value) {
    // Header of 28 bytes, then the first section's format id and offset.
    if (stream.size() < 48 || stream[0] != 0xFE || stream[1] != 0xFF || ReadU32(stream, 24) < 1) return false;
    const size_t section = ReadU32(stream, 44);
    if (section > stream.size() || stream.size() - section < 8) return false;
    const size_t sectionSize = ReadU32(stream, section);
    const size_t count = ReadU32(stream, section + 4);
    if (sectionSize < 8 || sectionSize > stream.size() - section || count > (sectionSize - 8) / 8) return false;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = section + 8 + i * 8;
        if (ReadU32(stream, entry) != pid) continue;
        const size_t offset = ReadU32(stream, entry + 4);
        if (offset > sectionSize || sectionSize - offset < 8) return false;
        const size_t at = section + offset;
        if (ReadU32(stream, at) != kVtLpstr) return false;
        const size_t length = ReadU32(stream, at + 4);
        if (length > sectionSize - offset - 8) return false;
        const char* text = reinterpret_cast<const char*>(&stream[at + 8]);
        value.assign(text, strnlen(text, length));
        return true;
    }
    return false;
}

bool CPatchPackageReader::SplitTransformRevision(const std::string& revision, std::string& productCode,
                                                 std::string& fromVersion, std::string& toVersion) {
    const std::vector<std::string> parts = tw::CPatchSummary::SplitList(revision);
    if (parts.size() < 2) return false;
    auto split = [](const std::string& part, std::string& product, std::string& version) {
        size_t close = part.find('}');
        if (part.empty() || part[0] != '{' || close == std::string::npos || close + 1 >= part.size()) return false;
        product = part.substr(0, close + 1);
        version = part.substr(close + 1);
        return true;
    };
    std::string newProduct;
    return split(parts[0], productCode, fromVersion) && split(parts[1], newProduct, toVersion);
}

PatchPackageInfo CPatchPackageReader::Read(const std::string& path, const std::string& fileName) {
    PatchPackageInfo info;
    info.fileName = fileName;
    info.facts = tw::CPatchPackageCheck::Inspect(path);
    info.exists = info.facts.found;
    info.size = info.facts.size;
    if (info.facts.fault != tw::CPatchPackageCheck::Refusal::None) return info;
    info.targetProducts = tw::CPatchSummary::SplitList(info.facts.targets);

    // Each transform's own summary holds the product and the versions it moves between.
    for (const std::string& name : tw::CPatchSummary::SplitList(info.facts.transforms)) {
        std::string storage = name[0] == ':' ? name.substr(1) : name;
        if (storage.empty() || storage[0] == '#') continue;
        TransformInfo transform;
        transform.name = storage;
        std::vector<uint8_t> stream;
        std::string revision;
        transform.readable =
            ReadTransformSummary(path, storage, stream) &&
            ReadSummaryText(stream, tw::CPatchSummary::kPidRevNumber, revision) &&
            SplitTransformRevision(revision, transform.productCode, transform.fromVersion, transform.toVersion);
        info.transforms.push_back(std::move(transform));
    }
    return info;
}

}  // namespace twcheck
