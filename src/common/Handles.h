#pragma once
// Owners for every kind of Windows handle the program opens. Each wrapper closes its
// handle in the destructor, cannot be copied, and can be moved, so an early return never
// leaks a handle.

#include <windows.h>
#include <msi.h>
#include <wininet.h>
#include <lm.h>
#include <objbase.h>
#include <oleauto.h>
#include <wincrypt.h>
#include <bcrypt.h>
#include <fdi.h>
#include <io.h>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace tw {

template <typename Traits>
class UniqueHandle {
public:
    using handle_type = typename Traits::handle_type;

    UniqueHandle() noexcept : m_handle(Traits::Invalid()) {}
    explicit UniqueHandle(handle_type h) noexcept : m_handle(h) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    handle_type Get() const noexcept { return m_handle; }
    bool IsValid() const noexcept { return m_handle != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Address for out-parameters; closes what is held first.
    handle_type* Put() noexcept {
        Reset();
        return &m_handle;
    }

    handle_type Release() noexcept {
        handle_type h = m_handle;
        m_handle = Traits::Invalid();
        return h;
    }

    void Reset(handle_type h = Traits::Invalid()) noexcept {
        if (m_handle != Traits::Invalid()) Traits::Close(m_handle);
        m_handle = h;
    }

private:
    handle_type m_handle;
};

struct KernelHandleTraits {  // processes, threads, mutexes, tokens, events (null when invalid)
    using handle_type = HANDLE;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFile and Toolhelp snapshots (INVALID_HANDLE_VALUE when invalid)
    using handle_type = HANDLE;
    static handle_type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(handle_type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using handle_type = HANDLE;
    static handle_type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(handle_type h) noexcept { ::FindClose(h); }
};

struct RegKeyTraits {
    using handle_type = HKEY;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::RegCloseKey(h); }
};

struct InternetHandleTraits {
    using handle_type = HINTERNET;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::InternetCloseHandle(h); }
};

struct NetApiBufferTraits {  // buffers the Net* functions allocate
    using handle_type = LPVOID;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::NetApiBufferFree(h); }
};

struct GdiObjectTraits {  // bitmaps, brushes, fonts
    using handle_type = HGDIOBJ;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::DeleteObject(h); }
};

struct MemoryDcTraits {  // device contexts from CreateCompatibleDC
    using handle_type = HDC;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::DeleteDC(h); }
};

struct LibraryTraits {
    using handle_type = HMODULE;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::FreeLibrary(h); }
};

struct MsiHandleTraits {
    using handle_type = MSIHANDLE;
    static handle_type Invalid() noexcept { return 0; }
    static void Close(handle_type h) noexcept { ::MsiCloseHandle(h); }
};

struct MappedViewTraits {  // MapViewOfFile
    using handle_type = const void*;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::UnmapViewOfFile(h); }
};

struct CFileTraits {  // C runtime streams
    using handle_type = FILE*;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { std::fclose(h); }
};

struct CrtFindHandleTraits {  // C runtime folder searches (_findfirst64i32; -1 when invalid)
    using handle_type = intptr_t;
    static handle_type Invalid() noexcept { return -1; }
    static void Close(handle_type h) noexcept { ::_findclose(h); }
};

struct BstrTraits {  // strings from SysAllocString*
    using handle_type = BSTR;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::SysFreeString(h); }
};

struct CertStoreTraits {
    using handle_type = HCERTSTORE;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::CertCloseStore(h, 0); }
};

struct CryptMsgTraits {
    using handle_type = HCRYPTMSG;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::CryptMsgClose(h); }
};

struct CertContextTraits {
    using handle_type = PCCERT_CONTEXT;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::CertFreeCertificateContext(h); }
};

struct LocalMemoryTraits {  // LocalAlloc
    using handle_type = HLOCAL;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::LocalFree(h); }
};

struct HashAlgorithmTraits {  // BCryptOpenAlgorithmProvider
    using handle_type = BCRYPT_ALG_HANDLE;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct HashObjectTraits {  // BCryptCreateHash
    using handle_type = BCRYPT_HASH_HANDLE;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::BCryptDestroyHash(h); }
};

struct FdiContextTraits {  // FDICreate; a caller that needs FDIDestroy's answer releases first
    using handle_type = HFDI;
    static handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { ::FDIDestroy(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using SnapshotHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using InternetHandle = UniqueHandle<InternetHandleTraits>;
using NetApiBuffer = UniqueHandle<NetApiBufferTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;
using Library = UniqueHandle<LibraryTraits>;
using MsiHandle = UniqueHandle<MsiHandleTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;
using CFile = UniqueHandle<CFileTraits>;
using CrtFindHandle = UniqueHandle<CrtFindHandleTraits>;
using Bstr = UniqueHandle<BstrTraits>;
using CertStore = UniqueHandle<CertStoreTraits>;
using CryptMsg = UniqueHandle<CryptMsgTraits>;
using CertContext = UniqueHandle<CertContextTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using HashAlgorithm = UniqueHandle<HashAlgorithmTraits>;
using HashObject = UniqueHandle<HashObjectTraits>;
using FdiContext = UniqueHandle<FdiContextTraits>;

// Selects a GDI object into a device context and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) noexcept : m_dc(dc), m_previous(::SelectObject(dc, obj)) {}
    ~SelectedObject() {
        if (m_previous && m_previous != HGDI_ERROR) ::SelectObject(m_dc, m_previous);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// One BeginPaint/EndPaint bracket of a window.
class PaintScope {
public:
    explicit PaintScope(HWND window) noexcept : m_window(window), m_dc(::BeginPaint(window, &m_paint)) {}
    ~PaintScope() { ::EndPaint(m_window, &m_paint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const noexcept { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint = {};
    HDC m_dc;
};

// Owns one COM interface reference.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    explicit ComPtr(T* p) noexcept : m_p(p) {}  // takes over an existing reference
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& other) noexcept : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr& operator=(const ComPtr& other) noexcept {
        if (this != &other) {
            if (other.m_p) other.m_p->AddRef();
            Reset();
            m_p = other.m_p;
        }
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    T** Put() noexcept {
        Reset();
        return &m_p;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
    void Reset() noexcept {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }

private:
    T* m_p = nullptr;
};

// Balances CoInitialize on the calling thread when it succeeded.
class ComInit {
public:
    ComInit() noexcept : m_hr(::CoInitialize(nullptr)) {}
    ~ComInit() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    HRESULT Result() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

}  // namespace tw
