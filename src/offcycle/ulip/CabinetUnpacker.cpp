#include "offcycle/ulip/CabinetUnpacker.h"

#include <fcntl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/Handles.h"
#include "common/PathRules.h"
#include "common/TextUtil.h"
#include "offcycle/Sha256.h"

namespace tw {

// One handle given to the decompressor: the cabinet's bytes in memory, or a file being written.
struct CCabinetUnpacker::Stream {
    // The cabinet image.
    const std::vector<unsigned char>* image = nullptr;
    size_t position = 0;
    // A file being written.
    std::string path;
    FileHandle file;
    std::unique_ptr<CSha256> hash;
};

namespace {

// The unpacker of the run on this thread: the decompressor's file callbacks carry no context.
thread_local CCabinetUnpacker* t_current = nullptr;

}  // namespace

CCabinetUnpacker::CCabinetUnpacker(const CHeldCabinet& cabinet, const char* destinationFolder, CVerifiedFolder& staging,
                                   CHeldFiles& holds)
    : m_cabinet(cabinet), m_folder(destinationFolder ? destinationFolder : ""), m_staging(staging), m_holds(holds) {
    const std::string& path = cabinet.Path();
    size_t slash = path.find_last_of('\\');
    m_cabinetName = slash == std::string::npos ? path : path.substr(slash + 1);
}

CCabinetUnpacker::~CCabinetUnpacker() = default;

bool CCabinetUnpacker::IsSafeEntryName(const char* name, const char* cabinetName) {
    if (!name || !*name) return false;
    const std::string entry(name);
    const size_t slash = entry.find('\\');
    if (slash != std::string::npos) {
        // One folder level only: the package has its 32-bit files in "x32".
        if (entry.find('\\', slash + 1) != std::string::npos) return false;
        return CPathRules::IsSafeRelativePath(entry);
    }
    if (!CPathRules::IsSafeName(entry)) return false;
    return !cabinetName || ::_stricmp(entry.c_str(), cabinetName) != 0;
}

bool CCabinetUnpacker::BuildTarget(char* target, size_t capacity, const char* folder, const char* name) {
    if (!SafeCopy(target, capacity, folder) || !SafeAppend(target, capacity, name)) {
        if (capacity) target[0] = '\0';
        return false;
    }
    return true;
}

CCabinetUnpacker::Stage CCabinetUnpacker::Run(const char* cabinetPath) {
    m_refused.clear();
    CCabinetUnpacker* previous = t_current;
    t_current = this;
    struct Restore {
        CCabinetUnpacker* previous;
        ~Restore() { t_current = previous; }
    } restore{previous};

    ERF error = {};
    FdiContext context(::FDICreate(&Alloc, &Free, &Open, &Read, &Write, &Close, &Seek, cpu80386, &error));
    if (!context) return Stage::Create;

    char path[MAX_PATH * 2] = {};
    SafeCopy(path, cabinetPath ? cabinetPath : "");
    INT_PTR cabinet = Open(path, _O_BINARY | _O_RDONLY | _O_SEQUENTIAL, 0);
    if (cabinet == -1) return Stage::Open;  // the context is destroyed on the way out
    FDICABINETINFO info = {};
    BOOL isCabinet = ::FDIIsCabinet(context.Get(), cabinet, &info);
    Close(cabinet);
    if (!isCabinet) return Stage::NotCabinet;

    // Name and folder (with its backslash), each at most 255 characters.
    char name[256] = {};
    char folder[256] = {};
    const char* slash = std::strrchr(path, '\\');
    if (slash) {
        SafeCopy(name, slash + 1);
        const size_t folderLength = static_cast<size_t>(slash - path) + 1;
        std::memcpy(folder, path, folderLength < sizeof(folder) ? folderLength : sizeof(folder) - 1);
    } else {
        SafeCopy(name, path);
    }
    if (!::FDICopy(context.Get(), name, folder, 0, &Notify, nullptr, nullptr)) {
        DWORD lastError = ::GetLastError();
        m_streams.clear();  // a file cut short is closed and not held
        ::SetLastError(lastError);
        return Stage::Copy;
    }
    if (!::FDIDestroy(context.Release())) return Stage::Destroy;
    return Stage::Done;
}

void* DIAMONDAPI CCabinetUnpacker::Alloc(ULONG size) { return std::malloc(size); }

void DIAMONDAPI CCabinetUnpacker::Free(void* memory) { std::free(memory); }

INT_PTR DIAMONDAPI CCabinetUnpacker::Open(char* path, int, int) {
    try {
        return t_current ? t_current->OpenCabinet(path) : -1;
    } catch (...) {
        return -1;
    }
}

INT_PTR CCabinetUnpacker::OpenCabinet(const char* path) {
    // Only the held, verified cabinet opens, and only as its image.
    if (!m_cabinet.Names(path)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    std::unique_ptr<Stream> stream(new Stream());
    stream->image = &m_cabinet.Image();
    m_streams.push_back(std::move(stream));
    return reinterpret_cast<INT_PTR>(m_streams.back().get());
}

CCabinetUnpacker::Stream* CCabinetUnpacker::Find(INT_PTR handle) {
    for (const auto& stream : m_streams)
        if (reinterpret_cast<INT_PTR>(stream.get()) == handle) return stream.get();
    return nullptr;
}

void CCabinetUnpacker::Drop(INT_PTR handle) {
    for (auto it = m_streams.begin(); it != m_streams.end(); ++it) {
        if (reinterpret_cast<INT_PTR>(it->get()) == handle) {
            m_streams.erase(it);
            return;
        }
    }
}

UINT DIAMONDAPI CCabinetUnpacker::Read(INT_PTR handle, void* buffer, UINT size) {
    Stream* stream = t_current ? t_current->Find(handle) : nullptr;
    if (!stream || !stream->image) return static_cast<UINT>(-1);
    const auto& image = *stream->image;
    size_t left = stream->position < image.size() ? image.size() - stream->position : 0;
    size_t count = size < left ? size : left;
    if (count) std::memcpy(buffer, image.data() + stream->position, count);
    stream->position += count;
    return static_cast<UINT>(count);
}

UINT DIAMONDAPI CCabinetUnpacker::Write(INT_PTR handle, void* buffer, UINT size) {
    Stream* stream = t_current ? t_current->Find(handle) : nullptr;
    if (!stream || !stream->file) return static_cast<UINT>(-1);
    DWORD written = 0;
    if (!::WriteFile(stream->file.Get(), buffer, size, &written, nullptr) || written != size)
        return static_cast<UINT>(-1);
    if (!stream->hash->Update(buffer, size)) return static_cast<UINT>(-1);
    return size;
}

int DIAMONDAPI CCabinetUnpacker::Close(INT_PTR handle) {
    if (!t_current || !t_current->Find(handle)) return -1;
    t_current->Drop(handle);
    return 0;
}

long DIAMONDAPI CCabinetUnpacker::Seek(INT_PTR handle, long distance, int origin) {
    Stream* stream = t_current ? t_current->Find(handle) : nullptr;
    if (!stream || !stream->image) return -1;
    long long base = 0;
    if (origin == SEEK_CUR)
        base = static_cast<long long>(stream->position);
    else if (origin == SEEK_END)
        base = static_cast<long long>(stream->image->size());
    else if (origin != SEEK_SET)
        return -1;
    long long target = base + distance;
    if (target < 0 || target > LONG_MAX) return -1;
    stream->position = static_cast<size_t>(target);
    return static_cast<long>(target);
}

INT_PTR DIAMONDAPI CCabinetUnpacker::Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
    try {
        if (!t_current) return -1;
        switch (type) {
            case fdintCOPY_FILE:
                return t_current->CreateTarget(notification->psz1);
            case fdintCLOSE_FILE_INFO:
                return t_current->CloseFile(notification->hf);
            default:
                return 0;
        }
    } catch (...) {
        return -1;
    }
}

INT_PTR CCabinetUnpacker::CreateTarget(const char* name) {
    char target[kTargetSize] = {};
    // Without a folder the names would resolve against the current folder.
    if (m_folder.empty() || !IsSafeEntryName(name, m_cabinetName.c_str()) ||
        !BuildTarget(target, sizeof(target), m_folder.c_str(), name)) {
        m_refused = name ? name : "";
        ::SetLastError(ERROR_INVALID_NAME);
        return -1;
    }
    // Everything is created through the verified staging folder, which is this folder.
    if (!m_staging.IsOpen() ||
        ::_stricmp(m_staging.Path().c_str(), (CVerifiedFolder::FullPath(m_folder) + "\\").c_str()) != 0) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    // The one folder level a name may have ("x32") is created on demand.
    if (const char* slash = std::strchr(name, '\\')) {
        if (!m_staging.CreateFolder(std::string(name, static_cast<size_t>(slash - name)))) return -1;
    }
    std::unique_ptr<Stream> stream(new Stream());
    stream->path = target;
    stream->hash.reset(new CSha256());
    if (!stream->hash->Ok()) return -1;
    stream->file = m_staging.CreateNewFile(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    if (!stream->file) return -1;
    m_streams.push_back(std::move(stream));
    return reinterpret_cast<INT_PTR>(m_streams.back().get());
}

BOOL CCabinetUnpacker::CloseFile(INT_PTR handle) {
    Stream* stream = Find(handle);
    if (!stream || !stream->file) return FALSE;
    CSha256::Digest written = {};
    bool hashed = stream->hash->Finish(written);
    const std::string path = stream->path;
    stream->file.Reset();
    Drop(handle);
    // Held from here until it is copied back; a file changed since its writing is refused.
    return hashed && m_holds.Hold(path, written) ? TRUE : FALSE;
}

}  // namespace tw
