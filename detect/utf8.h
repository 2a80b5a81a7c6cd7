// UTF-8 <-> UTF-16 for paths and texts, by the project's own code: Windows 95
// has no CP_UTF8.
//
// Unpaired surrogates (file names may hold them) are encoded as the three
// bytes their code point would take (ED A0..BF xx), so every UTF-16 name
// survives the round trip. A high and a low surrogate encoded that way one
// after the other are refused: the pair has exactly one form, four bytes.
// Overlong forms, code points above U+10FFFF, cut sequences and stray
// continuation bytes are refused.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>

// The longest path the wide file functions take, in UTF-16 units, and the
// bytes its UTF-8 form may need with its terminator (three per unit at most).
constexpr size_t kLongPathUnits = 32767;
constexpr size_t kLongPathUtf8Size = kLongPathUnits * 3 + 1;

// Converts length units of src (no terminator needed) into dst, which holds
// dstSize bytes, and terminates it. False when dst is too small (nothing
// usable is left: dst is emptied when dstSize > 0).
bool Utf16ToUtf8(const char16_t* src, size_t length, char* dst, size_t dstSize);
// Converts the NUL-terminated src into dst (dstCount units) with a
// terminator; *written (when given) receives the units without it. False on
// a malformed sequence or when dst is too small (dst emptied).
bool Utf8ToUtf16(const char* src, char16_t* dst, size_t dstCount, size_t* written = nullptr);

#if WCHAR_MAX <= 0xFFFF
// Where wchar_t is UTF-16 (Windows).
bool Utf16ToUtf8(const wchar_t* src, size_t length, char* dst, size_t dstSize);
bool Utf8ToUtf16(const char* src, wchar_t* dst, size_t dstCount, size_t* written = nullptr);
#endif

// Characters (code points) in the NUL-terminated text; a malformed byte
// counts as one character.
size_t Utf8CharCount(const char* text);
// Byte offset of character number index (0-based) within text, or the text's
// length when it has fewer characters; never splits a sequence.
size_t Utf8OffsetOfChar(const char* text, size_t index);
