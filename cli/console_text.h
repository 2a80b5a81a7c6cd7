// Text on the console, on every Windows the program names: Windows 9x has
// WriteConsoleW only as a stub that fails, and no UTF-8 conversion.
#pragma once
#include <windows.h>

#include <cstddef>

using WriteConsoleWFn = BOOL(WINAPI*)(HANDLE, const VOID*, DWORD, LPDWORD, LPVOID);
// The system's WriteConsoleW; a test puts one that fails in its place.
extern WriteConsoleWFn g_writeConsoleW;

// Writes wide text on a console; where WriteConsoleW fails, the same text in
// the console's code page (characters it lacks become '?'). False when
// neither could be written.
bool WriteConsoleWide(HANDLE console, const wchar_t* text, size_t count);

// Writes UTF-8 text on a console in pieces; ill-formed bytes are shown as
// U+FFFD (or '?') and set *damaged. Never stops part-way on bad bytes.
bool WriteConsoleUtf8(HANDLE console, const char* text, size_t length, bool* damaged);
