// The name conversions: any UTF-16 text survives UTF-8 and back; any UTF-8
// text accepted comes back byte for byte; no buffer size makes either write
// past it.
#include "detect/utf8.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define UTF8_CHECK(c) \
    do { \
        if (!(c)) { \
            fprintf(stderr, "property failed: %s\n", #c); \
            abort(); \
        } \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // First byte: the output size to try (0: ample).
    const size_t tight = data[0];
    ++data, --size;

    std::vector<char16_t> wide;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char16_t u = char16_t(data[i] | (data[i + 1] << 8));
        if (u)
            wide.push_back(u);
    }
    const size_t ample = wide.size() * 3 + 1;
    std::vector<char> narrow(tight ? tight : ample);
    const bool fits = Utf16ToUtf8(wide.data(), wide.size(), narrow.data(), narrow.size());
    UTF8_CHECK(fits || tight);
    if (fits) {
        UTF8_CHECK(strlen(narrow.data()) < narrow.size());
        std::vector<char16_t> back(wide.size() + 1);
        size_t units = 0;
        UTF8_CHECK(Utf8ToUtf16(narrow.data(), back.data(), back.size(), &units));
        UTF8_CHECK(units == wide.size() && (units == 0 || memcmp(back.data(), wide.data(), units * 2) == 0));
        UTF8_CHECK(Utf8CharCount(narrow.data()) <= units);
    }

    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    std::vector<char16_t> units(tight ? tight : text.size() + 1);
    size_t count = 0;
    if (Utf8ToUtf16(text.c_str(), units.data(), units.size(), &count)) {
        UTF8_CHECK(count < units.size() && units[count] == 0);
        std::vector<char> again(text.size() + 1);
        UTF8_CHECK(Utf16ToUtf8(units.data(), count, again.data(), again.size()));
        UTF8_CHECK(text == again.data());
    }
    const size_t chars = Utf8CharCount(text.c_str());
    UTF8_CHECK(chars <= text.size());
    UTF8_CHECK(Utf8OffsetOfChar(text.c_str(), chars) == text.size());
    return 0;
}
