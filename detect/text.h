// Bounded text helpers, used wherever a fixed buffer is written.
#pragma once
#include <cstddef>

// Copies at most size-1 characters and always terminates; returns false when cut.
bool CopyText(char* dest, size_t size, const char* src);
// Appends within size; returns false when cut.
bool AppendText(char* dest, size_t size, const char* src);
