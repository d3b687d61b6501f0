#pragma once
#include <windows.h>
#include <wininet.h>

#include <utility>

// A move-only owner of one Win32 handle. Traits name the empty value and how the handle is closed,
// so that every path out of a scope closes exactly what it opened, once.
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Traits::empty(); }
    explicit operator bool() const { return valid(); }

    Handle release() { return std::exchange(handle_, Traits::empty()); }
    void reset(Handle handle = Traits::empty()) {
        if (valid()) Traits::close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::empty();
};

// Kernel objects whose failure value is null: processes, threads, snapshots... (Toolhelp snapshots
// fail with INVALID_HANDLE_VALUE; see FileHandle.)
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return nullptr; }
    static void close(Handle handle) { CloseHandle(handle); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// Files and Toolhelp snapshots, whose failure value is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) { CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) { FindClose(handle); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle empty() { return nullptr; }
    static void close(Handle handle) { FreeLibrary(handle); }
};
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;

struct WindowHandleTraits {
    using Handle = HWND;
    static Handle empty() { return nullptr; }
    static void close(Handle handle) { DestroyWindow(handle); }
};
using WindowHandle = UniqueHandle<WindowHandleTraits>;

// WinINet's internet, connection and request handles.
struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle empty() { return nullptr; }
    static void close(Handle handle) { InternetCloseHandle(handle); }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;
