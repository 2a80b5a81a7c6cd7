// Text between the ANSI code page and UTF-8, through UTF-16 with the
// project's own UTF-8 code: Windows 95 has no CP_UTF8.
#pragma once

#include <cstddef>

// The UTF-8 form of ANSI text into out (size bytes); false when it cannot be
// converted or does not fit (out emptied).
bool AnsiToUtf8(const char* ansi, char* out, size_t size);

// The ANSI form of UTF-8 text into out; false when a character has no exact
// form in the code page (the system would put '?' or a look-alike in its
// place, naming another object), the text is not valid UTF-8, or it does not
// fit (out emptied).
bool Utf8ToAnsiExact(const char* utf8, char* out, size_t size);
