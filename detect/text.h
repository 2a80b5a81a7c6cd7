// Bounded text helpers, used wherever a fixed buffer is written.
#pragma once
#include <cstddef>
#include <cstdint>

// Copies at most size-1 characters and always terminates; returns false when cut.
bool CopyText(char* dest, size_t size, const char* src);
// Appends within size; returns false when cut.
bool AppendText(char* dest, size_t size, const char* src);

// Case is folded for ASCII letters only: other bytes of a name (any code
// page) compare as they are, as the system's own comparison may not.
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
inline uint8_t LowerAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? uint8_t(c - 'A' + 'a') : c; }
// Whole strings equal but for the case of ASCII letters.
bool EqualNoCase(const char* a, const char* b);
