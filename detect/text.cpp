#include "detect/text.h"

#include <cstring>

bool CopyText(char* dest, size_t size, const char* src)
{
    if (size == 0)
        return false;
    size_t n = strlen(src);
    bool fits = n < size;
    if (!fits)
        n = size - 1;
    memmove(dest, src, n);
    dest[n] = '\0';
    return fits;
}

bool EqualNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    }
    return *a == *b;
}

bool AppendText(char* dest, size_t size, const char* src)
{
    size_t used = strnlen(dest, size);
    if (used >= size)
        return false;
    return CopyText(dest + used, size - used, src);
}
