// Owning wrappers of the system's handles. Each closes its handle in its destructor, can be
// moved but not copied, and gives the raw handle where an API wants one.
//   CKernelHandle   process, thread, token, event, mutex, pipe (CloseHandle; none is null)
//   CFileHandle     file or folder from CreateFileW (CloseHandle; none is INVALID_HANDLE_VALUE)
//   CFindHandle     FindFirstFileW (FindClose)
//   CRegKey         registry key (RegCloseKey)
//   CServiceHandle  service control manager or service (CloseServiceHandle)
//   CLibrary        loaded module (FreeLibrary)
//   CLocalMemory    memory the system allocated for the caller (LocalFree)
//   CCryptProvider  CryptoAPI provider context (CryptReleaseContext)
//   CCryptHash      CryptoAPI hash object (CryptDestroyHash)
//   CComScope       COM on the calling thread (CoInitializeEx ... CoUninitialize)
// Attach takes ownership (closing what was held); Detach gives it away; Receive lends the
// handle's address to a function that returns a new handle through a pointer.
#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <objbase.h>

template <class T, class Traits>
class COwnedHandle {
public:
    COwnedHandle() = default;
    explicit COwnedHandle(T h) : m_h(h) {}
    ~COwnedHandle() { Close(); }
    COwnedHandle(const COwnedHandle&) = delete;
    COwnedHandle& operator=(const COwnedHandle&) = delete;
    COwnedHandle(COwnedHandle&& other) noexcept : m_h(other.Detach()) {}
    COwnedHandle& operator=(COwnedHandle&& other) noexcept
    {
        if (this != &other)
            Attach(other.Detach());
        return *this;
    }

    operator T() const { return m_h; }
    T Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Invalid(); }

    void Attach(T h)
    {
        if (h != m_h) {
            Close();
            m_h = h;
        }
    }
    T Detach()
    {
        T h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    void Close()
    {
        if (IsValid())
            Traits::Close(m_h);
        m_h = Traits::Invalid();
    }
    // The address to receive a new handle; what was held is closed first.
    T* Receive()
    {
        Close();
        return &m_h;
    }

private:
    T m_h = Traits::Invalid();
};

struct CKernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct CFileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct CFindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct CRegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};
struct CServiceHandleTraits {
    static SC_HANDLE Invalid() { return nullptr; }
    static void Close(SC_HANDLE h) { ::CloseServiceHandle(h); }
};
struct CLibraryTraits {
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};
struct CLocalMemoryTraits {
    static HLOCAL Invalid() { return nullptr; }
    static void Close(HLOCAL h) { ::LocalFree(h); }
};

struct CCryptProviderTraits {
    static HCRYPTPROV Invalid() { return 0; }
    static void Close(HCRYPTPROV h) { ::CryptReleaseContext(h, 0); }
};
struct CCryptHashTraits {
    static HCRYPTHASH Invalid() { return 0; }
    static void Close(HCRYPTHASH h) { ::CryptDestroyHash(h); }
};

typedef COwnedHandle<HANDLE, CKernelHandleTraits> CKernelHandle;
typedef COwnedHandle<HANDLE, CFileHandleTraits> CFileHandle;
typedef COwnedHandle<HANDLE, CFindHandleTraits> CFindHandle;
typedef COwnedHandle<HKEY, CRegKeyTraits> CRegKey;
typedef COwnedHandle<SC_HANDLE, CServiceHandleTraits> CServiceHandle;
typedef COwnedHandle<HMODULE, CLibraryTraits> CLibrary;
typedef COwnedHandle<HLOCAL, CLocalMemoryTraits> CLocalMemory;
typedef COwnedHandle<HCRYPTPROV, CCryptProviderTraits> CCryptProvider;
typedef COwnedHandle<HCRYPTHASH, CCryptHashTraits> CCryptHash;

// COM for the calling thread while the scope lives; uninitialised only when the start took.
class CComScope {
public:
    explicit CComScope(DWORD dwCoInit = COINIT_MULTITHREADED) : m_hr(::CoInitializeEx(nullptr, dwCoInit)) {}
    ~CComScope()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};
