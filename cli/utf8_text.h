// UTF-8 to and from UTF-16 without the system's conversion: Windows 95 has
// no CP_UTF8, and the system's conversions differ between versions in what
// they do with ill-formed text. Platform-free, so it builds natively too.
#pragma once
#include <cstddef>
#include <cstdint>

// Strict: false for any ill-formed sequence (overlong forms, surrogates,
// beyond U+10FFFF, cut short) or when out (capacity units, a terminating 0
// included) is too small. written: units without the terminating 0.
bool Utf8ToUtf16(const char* text, size_t length, uint16_t* out, size_t capacity, size_t* written);
// Strict: false for an unpaired surrogate or when out is too small; out is
// NUL-terminated.
bool Utf16ToUtf8(const uint16_t* text, size_t length, char* out, size_t capacity);
// For showing text: every ill-formed sequence becomes U+FFFD and sets
// *damaged. Decodes whole sequences while they fit in out; returns the bytes
// consumed (*written units were written, no terminating 0).
size_t DecodeUtf8ForDisplay(const char* text, size_t length, uint16_t* out, size_t capacity, size_t* written,
                            bool* damaged);
