// The parts of the C and C++ runtime that the 32-bit shipped programs need,
// compiled for the 486 with them: Debian builds its own for the Pentium Pro.
// Linked as objects ahead of the runtime's libraries, these definitions keep
// the runtime's members out of the link (tools/check-cpu-floor.py checks it).
#include <cstdlib>
#include <new>
#include <string>

// Every member of std::string here, so the runtime's instantiation is not used.
template class std::__cxx11::basic_string<char>;

// Allocation and the library's error paths without exceptions: a failure ends
// the program, as the uncaught exception did before.
void* operator new(std::size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        std::abort();
    return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
namespace std {
// The library calls these where it would throw.
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
} // namespace std

// The runtime's formatted output, built for the Pentium Pro and pulling in
// its floating-point conversion, replaced by one for what the programs use.
#include "runtime/format.h"

#include <cstdio>

extern "C" int __cdecl __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list args)
{
    return ScxVFormat(buffer, size, format, args);
}

extern "C" int __cdecl __mingw_vfprintf(FILE* stream, const char* format, va_list args)
{
    char small[512];
    va_list again;
    va_copy(again, args);
    int n = ScxVFormat(small, sizeof small, format, args);
    int result = n;
    if (n >= 0 && size_t(n) < sizeof small) {
        if (fwrite(small, 1, size_t(n), stream) != size_t(n))
            result = -1;
    } else if (n >= 0) {
        char* big = static_cast<char*>(malloc(size_t(n) + 1));
        if (!big || ScxVFormat(big, size_t(n) + 1, format, again) != n ||
            fwrite(big, 1, size_t(n), stream) != size_t(n))
            result = -1;
        free(big);
    }
    va_end(again);
    return result;
}
