// UTF-8 shown on a console: ill-formed bytes become U+FFFD rather than
// stopping the text. (Exact conversions are in detect/utf8.h.)
// Platform-free, so it builds natively too.
#pragma once
#include <cstddef>
#include <cstdint>

// Every ill-formed sequence becomes U+FFFD and sets *damaged (when given).
// Decodes whole sequences while they fit in out; returns the bytes consumed
// (*written units were written, no terminating 0).
size_t DecodeUtf8ForDisplay(const char* text, size_t length, uint16_t* out, size_t capacity, size_t* written,
                            bool* damaged);
