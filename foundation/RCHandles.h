#pragma once
// One owner type per kind of Win32 resource. Each kind says what its invalid
// value is and how it is closed; nothing else in the code base closes these
// resources by hand or defines a deleter of its own.
//
// The owners are move-only. release() hands the raw value out without closing
// it and must not be ignored (the caller now owns it). Closing keeps the
// thread's last error, so that code can close a handle on a failure path and
// still report why the call before it failed.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <winsvc.h>

#include <utility>

namespace RC {

template <typename Traits>
class UniqueResource {
public:
    using pointer = typename Traits::type;

    UniqueResource() noexcept : value_(Traits::Invalid()) {}
    explicit UniqueResource(pointer value) noexcept : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : value_(other.value_) { other.value_ = Traits::Invalid(); }
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            pointer value = other.value_;
            other.value_ = Traits::Invalid();
            reset(value);
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    pointer get() const noexcept { return value_; }
    bool is_valid() const noexcept { return value_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return is_valid(); }

    void reset(pointer value = Traits::Invalid()) noexcept
    {
        if (value_ == value)
            return;
        if (is_valid()) {
            const DWORD lastError = ::GetLastError();
            Traits::Close(value_);
            ::SetLastError(lastError);
        }
        value_ = value;
    }

    [[nodiscard]] pointer release() noexcept
    {
        pointer value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    // For APIs that hand a resource back through an out parameter.
    pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    pointer value_;
};

namespace HandleTraits {

// Kernel objects whose creators answer NULL on failure: processes, threads,
// events, mutexes, file mappings.
struct Handle {
    using type = HANDLE;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::CloseHandle(h); }
};

// CreateFile and CreateToolhelp32Snapshot answer INVALID_HANDLE_VALUE.
struct File {
    using type = HANDLE;
    static type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(type h) { ::CloseHandle(h); }
};

struct Find {
    using type = HANDLE;
    static type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(type h) { ::FindClose(h); }
};

struct Key {
    using type = HKEY;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::RegCloseKey(h); }
};

struct ServiceHandle {
    using type = SC_HANDLE;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::CloseServiceHandle(h); }
};

struct Module {
    using type = HMODULE;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::FreeLibrary(h); }
};

struct Local {
    using type = HLOCAL;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::LocalFree(h); }
};

struct Sid {
    using type = PSID;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::FreeSid(h); }
};

struct ProcessHeap {
    using type = void*;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::HeapFree(::GetProcessHeap(), 0, h); }
};

struct Bstr {
    using type = BSTR;
    static type Invalid() { return nullptr; }
    static void Close(type s) { ::SysFreeString(s); }
};

// Memory that COM servers hand out with CoTaskMemAlloc (name lists, strings).
template <typename T>
struct CoTaskMem {
    using type = T*;
    static type Invalid() { return nullptr; }
    static void Close(type p) { ::CoTaskMemFree(p); }
};

} // namespace HandleTraits

using unique_handle = UniqueResource<HandleTraits::Handle>;
using unique_hfile = UniqueResource<HandleTraits::File>;
using unique_snapshot = UniqueResource<HandleTraits::File>;
using unique_hfind = UniqueResource<HandleTraits::Find>;
using unique_hkey = UniqueResource<HandleTraits::Key>;
using unique_schandle = UniqueResource<HandleTraits::ServiceHandle>;
using unique_hmodule = UniqueResource<HandleTraits::Module>;
using unique_hlocal = UniqueResource<HandleTraits::Local>;
using unique_sid = UniqueResource<HandleTraits::Sid>;
using unique_process_heap = UniqueResource<HandleTraits::ProcessHeap>;
using unique_bstr = UniqueResource<HandleTraits::Bstr>;
template <typename T>
using unique_cotaskmem_ptr = UniqueResource<HandleTraits::CoTaskMem<T>>;
using unique_cotaskmem_string = unique_cotaskmem_ptr<wchar_t>;

} // namespace RC
