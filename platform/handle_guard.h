// One owner for every kind of system handle the program opens, so that each
// is closed on every way out of the scope that opened it.
#pragma once
#include <windows.h>

#include <cstdio>
#include <io.h>

// Traits: the handle type, its "nothing open" value, whether a value is
// open, and the call that closes it (true when the system reported success).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    // Calls that fail return either null or INVALID_HANDLE_VALUE, by call.
    static bool Open(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(Handle h) { return CloseHandle(h) != 0; }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Open(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(Handle h) { return FindClose(h) != 0; }
};

struct KeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool Open(Handle h) { return h != nullptr; }
    static bool Close(Handle h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Open(Handle h) { return h != nullptr; }
    static bool Close(Handle h) { return CloseServiceHandle(h) != 0; }
};

struct DescriptorTraits {
    using Handle = int;
    static Handle Invalid() { return -1; }
    static bool Open(Handle h) { return h >= 0; }
    static bool Close(Handle h) { return _close(h) == 0; }
};

struct StreamTraits {
    using Handle = FILE*;
    static Handle Invalid() { return nullptr; }
    static bool Open(Handle h) { return h != nullptr; }
    static bool Close(Handle h) { return fclose(h) == 0; }
};

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static bool Open(Handle h) { return h != nullptr; }
    static bool Close(Handle h) { return DeleteObject(h) != 0; }
};

struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static bool Open(Handle h) { return h != nullptr; }
    static bool Close(Handle h) { return DeleteDC(h) != 0; }
};

template <typename Traits>
class Guard {
public:
    using Handle = typename Traits::Handle;

    Guard() = default;
    explicit Guard(Handle h) : h_(h) {}
    ~Guard() { Close(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    Guard(Guard&& other) noexcept : h_(other.release()) {}
    Guard& operator=(Guard&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Handle get() const { return h_; }
    bool valid() const { return Traits::Open(h_); }
    explicit operator bool() const { return valid(); }

    // Gives the handle up without closing it.
    Handle release()
    {
        Handle h = h_;
        h_ = Traits::Invalid();
        return h;
    }
    void reset(Handle h = Traits::Invalid())
    {
        Close();
        h_ = h;
    }
    // Closes now; true when a handle was open and closed without error.
    bool Close()
    {
        Handle h = release();
        return Traits::Open(h) && Traits::Close(h);
    }

private:
    Handle h_ = Traits::Invalid();
};

using HandleGuard = Guard<KernelHandleTraits>;
using FindGuard = Guard<FindHandleTraits>;
using KeyGuard = Guard<KeyTraits>;
using ServiceGuard = Guard<ServiceHandleTraits>;
using DescriptorGuard = Guard<DescriptorTraits>;
using StreamGuard = Guard<StreamTraits>;
using GdiObjectGuard = Guard<GdiObjectTraits>;
using MemoryDcGuard = Guard<MemoryDcTraits>;
