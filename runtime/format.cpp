#include "runtime/format.h"

#include <climits>
#include <cstdint>

namespace {

// Counts everything, stores what fits and leaves room for the terminator.
class Sink {
public:
    Sink(char* buffer, size_t size) : buffer_(buffer), size_(size) {}
    void Put(char c)
    {
        if (buffer_ && count_ + 1 < size_)
            buffer_[count_] = c;
        ++count_;
    }
    void Repeat(char c, size_t n)
    {
        while (n--)
            Put(c);
    }
    size_t Finish()
    {
        if (buffer_ && size_ > 0)
            buffer_[count_ < size_ ? count_ : size_ - 1] = '\0';
        return count_;
    }

private:
    char* buffer_;
    size_t size_;
    size_t count_ = 0;
};

enum Length { kInt, kChar, kShort, kLong, kLongLong, kSize, kMax, kPtrDiff };

struct Conversion {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    size_t width = 0;
    long precision = -1; // none
};

void PutPadded(Sink& out, const Conversion& s, const char* prefix, size_t prefixLen, const char* digits,
               size_t digitLen, size_t zeros)
{
    size_t body = prefixLen + zeros + digitLen;
    size_t pad = s.width > body ? s.width - body : 0;
    if (!s.left && !(s.zero && s.precision < 0))
        out.Repeat(' ', pad);
    for (size_t i = 0; i < prefixLen; ++i)
        out.Put(prefix[i]);
    if (!s.left && s.zero && s.precision < 0)
        out.Repeat('0', pad);
    out.Repeat('0', zeros);
    for (size_t i = 0; i < digitLen; ++i)
        out.Put(digits[i]);
    if (s.left)
        out.Repeat(' ', pad);
}

void PutInteger(Sink& out, const Conversion& s, char conv, bool negative, uint64_t magnitude)
{
    char digits[24];
    size_t n = 0;
    unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
    const char* set = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    for (uint64_t v = magnitude; v; v /= base)
        digits[n++] = set[v % base];
    // reverse into order
    for (size_t i = 0; i < n / 2; ++i) {
        char t = digits[i];
        digits[i] = digits[n - 1 - i];
        digits[n - 1 - i] = t;
    }
    size_t minDigits = s.precision < 0 ? 1 : size_t(s.precision);
    size_t zeros = minDigits > n ? minDigits - n : 0;
    char prefix[2];
    size_t prefixLen = 0;
    if (conv == 'd' || conv == 'i') {
        if (negative)
            prefix[prefixLen++] = '-';
        else if (s.plus)
            prefix[prefixLen++] = '+';
        else if (s.space)
            prefix[prefixLen++] = ' ';
    } else if (s.alt && conv == 'o') {
        if (zeros == 0 && (n == 0 || digits[0] != '0'))
            zeros = 1;
    } else if (s.alt && magnitude != 0 && (conv == 'x' || conv == 'X')) {
        prefix[prefixLen++] = '0';
        prefix[prefixLen++] = conv;
    }
    PutPadded(out, s, prefix, prefixLen, digits, n, zeros);
}

} // namespace

int ScxVFormat(char* buffer, size_t size, const char* format, va_list args)
{
    Sink out(buffer, size);
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            out.Put(*p);
            continue;
        }
        ++p;
        Conversion s;
        for (;; ++p) {
            if (*p == '-') s.left = true;
            else if (*p == '0') s.zero = true;
            else if (*p == '+') s.plus = true;
            else if (*p == ' ') s.space = true;
            else if (*p == '#') s.alt = true;
            else break;
        }
        if (*p == '*') {
            int w = va_arg(args, int);
            if (w < 0) {
                s.left = true;
                w = w == INT_MIN ? INT_MAX : -w;
            }
            s.width = size_t(w);
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') {
                if (s.width > INT_MAX / 10)
                    return -1;
                s.width = s.width * 10 + size_t(*p++ - '0');
            }
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                int v = va_arg(args, int);
                s.precision = v < 0 ? -1 : v;
                ++p;
            } else {
                long v = 0;
                while (*p >= '0' && *p <= '9') {
                    if (v > INT_MAX / 10)
                        return -1;
                    v = v * 10 + (*p++ - '0');
                }
                s.precision = v;
            }
        }
        Length len = kInt;
        if (p[0] == 'h' && p[1] == 'h') { len = kChar; p += 2; }
        else if (p[0] == 'h') { len = kShort; ++p; }
        else if (p[0] == 'l' && p[1] == 'l') { len = kLongLong; p += 2; }
        else if (p[0] == 'l') { len = kLong; ++p; }
        else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') { len = kLongLong; p += 3; }
        else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') { len = kInt; p += 3; }
        else if (p[0] == 'z' || p[0] == 'I') { len = kSize; ++p; }
        else if (p[0] == 'j') { len = kMax; ++p; }
        else if (p[0] == 't') { len = kPtrDiff; ++p; }

        const char conv = *p;
        switch (conv) {
        case '%':
            out.Put('%');
            break;
        case 'd':
        case 'i': {
            int64_t v;
            switch (len) {
            case kChar: v = static_cast<signed char>(va_arg(args, int)); break;
            case kShort: v = static_cast<short>(va_arg(args, int)); break;
            case kLong: v = va_arg(args, long); break;
            case kLongLong: v = va_arg(args, long long); break;
            case kSize: v = static_cast<int64_t>(static_cast<ptrdiff_t>(va_arg(args, size_t))); break;
            case kMax: v = va_arg(args, intmax_t); break;
            case kPtrDiff: v = va_arg(args, ptrdiff_t); break;
            default: v = va_arg(args, int); break;
            }
            uint64_t magnitude = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
            PutInteger(out, s, conv, v < 0, magnitude);
            break;
        }
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            uint64_t v;
            switch (len) {
            case kChar: v = static_cast<unsigned char>(va_arg(args, unsigned)); break;
            case kShort: v = static_cast<unsigned short>(va_arg(args, unsigned)); break;
            case kLong: v = va_arg(args, unsigned long); break;
            case kLongLong: v = va_arg(args, unsigned long long); break;
            case kSize: v = va_arg(args, size_t); break;
            case kMax: v = va_arg(args, uintmax_t); break;
            case kPtrDiff: v = static_cast<uint64_t>(va_arg(args, ptrdiff_t)); break;
            default: v = va_arg(args, unsigned); break;
            }
            PutInteger(out, s, conv, false, v);
            break;
        }
        case 'c': {
            if (len != kInt)
                return -1; // wide character
            char c = char(va_arg(args, int));
            PutPadded(out, s, nullptr, 0, &c, 1, 0);
            break;
        }
        case 's': {
            if (len != kInt)
                return -1; // wide text
            const char* text = va_arg(args, const char*);
            if (!text)
                text = "(null)";
            size_t n = 0;
            while ((s.precision < 0 || n < size_t(s.precision)) && text[n])
                ++n;
            Conversion plain = s;
            plain.zero = false;
            PutPadded(out, plain, nullptr, 0, text, n, 0);
            break;
        }
        default:
            return -1; // floating point, %p, %n or a malformed conversion
        }
    }
    size_t total = out.Finish();
    return total > size_t(INT_MAX) ? -1 : int(total);
}
