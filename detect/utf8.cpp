#include "detect/utf8.h"

#include <cstring>

namespace {

bool IsHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

template <typename Unit>
bool ToUtf8(const Unit* src, size_t length, char* dst, size_t dstSize)
{
    if (dstSize == 0)
        return false;
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        uint32_t cp = uint16_t(src[i]);
        if (IsHigh(cp) && i + 1 < length && IsLow(uint16_t(src[i + 1]))) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (uint16_t(src[i + 1]) - 0xDC00);
            ++i;
        }
        unsigned char bytes[4];
        size_t n;
        if (cp < 0x80) {
            bytes[0] = (unsigned char)cp;
            n = 1;
        } else if (cp < 0x800) {
            bytes[0] = (unsigned char)(0xC0 | (cp >> 6));
            bytes[1] = (unsigned char)(0x80 | (cp & 0x3F));
            n = 2;
        } else if (cp < 0x10000) {
            // Lone surrogates take this form too.
            bytes[0] = (unsigned char)(0xE0 | (cp >> 12));
            bytes[1] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
            bytes[2] = (unsigned char)(0x80 | (cp & 0x3F));
            n = 3;
        } else {
            bytes[0] = (unsigned char)(0xF0 | (cp >> 18));
            bytes[1] = (unsigned char)(0x80 | ((cp >> 12) & 0x3F));
            bytes[2] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
            bytes[3] = (unsigned char)(0x80 | (cp & 0x3F));
            n = 4;
        }
        if (dstSize - out <= n) {
            dst[0] = '\0';
            return false;
        }
        memcpy(dst + out, bytes, n);
        out += n;
    }
    dst[out] = '\0';
    return true;
}

// Decodes one code point at text; returns its byte count, 0 when malformed.
size_t DecodeOne(const unsigned char* s, uint32_t* cp)
{
    const unsigned char c = s[0];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t n;
    uint32_t value, minimum;
    if ((c & 0xE0) == 0xC0) {
        n = 2, value = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, value = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, value = c & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    for (size_t k = 1; k < n; ++k) {
        if (!IsContinuation(s[k])) // the terminator stops here too
            return 0;
        value = (value << 6) | (s[k] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF)
        return 0;
    *cp = value;
    return n;
}

template <typename Unit>
bool ToUtf16(const char* src, Unit* dst, size_t dstCount, size_t* written)
{
    if (written)
        *written = 0;
    if (dstCount == 0)
        return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    size_t out = 0;
    bool lastWasLoneHigh = false;
    while (*s) {
        uint32_t cp;
        const size_t n = DecodeOne(s, &cp);
        if (n == 0 || (lastWasLoneHigh && IsLow(cp)))
            break;
        lastWasLoneHigh = IsHigh(cp);
        const size_t units = cp >= 0x10000 ? 2 : 1;
        if (dstCount - out <= units)
            break;
        if (units == 2) {
            dst[out++] = Unit(0xD800 + ((cp - 0x10000) >> 10));
            dst[out++] = Unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            dst[out++] = Unit(cp);
        }
        s += n;
    }
    if (*s) {
        dst[0] = 0;
        return false;
    }
    dst[out] = 0;
    if (written)
        *written = out;
    return true;
}

} // namespace

bool Utf16ToUtf8(const char16_t* src, size_t length, char* dst, size_t dstSize)
{
    return ToUtf8(src, length, dst, dstSize);
}

bool Utf8ToUtf16(const char* src, char16_t* dst, size_t dstCount, size_t* written)
{
    return ToUtf16(src, dst, dstCount, written);
}

#if WCHAR_MAX <= 0xFFFF
bool Utf16ToUtf8(const wchar_t* src, size_t length, char* dst, size_t dstSize)
{
    return ToUtf8(src, length, dst, dstSize);
}

bool Utf8ToUtf16(const char* src, wchar_t* dst, size_t dstCount, size_t* written)
{
    return ToUtf16(src, dst, dstCount, written);
}
#endif

size_t Utf8OffsetOfChar(const char* text, size_t index)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t at = 0;
    for (size_t i = 0; i < index && s[at]; ++i) {
        uint32_t cp;
        const size_t n = DecodeOne(s + at, &cp);
        at += n ? n : 1;
    }
    return at;
}

size_t Utf8CharCount(const char* text)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t count = 0, at = 0;
    while (s[at]) {
        uint32_t cp;
        const size_t n = DecodeOne(s + at, &cp);
        at += n ? n : 1;
        ++count;
    }
    return count;
}
