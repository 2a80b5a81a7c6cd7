// The C99 vsnprintf of the 32-bit shipped programs: the runtime's own is
// built for the Pentium Pro. Integers, characters and strings with every flag,
// width, precision and length; anything else (floating point, %p, %n, wide
// text) makes it return -1 without reading the argument.
#pragma once
#include <cstdarg>
#include <cstddef>

int ScxVFormat(char* buffer, size_t size, const char* format, va_list args);
