#include "cli/utf8_display.h"

namespace {

// The code point of the well-formed sequence at text, or -1; *used bytes.
long DecodeOne(const unsigned char* text, size_t length, size_t* used)
{
    *used = 1;
    const unsigned char lead = text[0];
    if (lead < 0x80)
        return lead;
    size_t count;
    long value;
    long minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return -1;
    }
    for (size_t i = 1; i < count; ++i) {
        if (i >= length || (text[i] & 0xC0) != 0x80)
            return -1; // the bad byte starts the next sequence
        value = value << 6 | (text[i] & 0x3F);
        *used = i + 1;
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        *used = 1;
        return -1;
    }
    *used = count;
    return value;
}

size_t UnitsOf(long value) { return value >= 0x10000 ? 2 : 1; }

void PutUnits(long value, uint16_t* out)
{
    if (value >= 0x10000) {
        value -= 0x10000;
        out[0] = static_cast<uint16_t>(0xD800 + (value >> 10));
        out[1] = static_cast<uint16_t>(0xDC00 + (value & 0x3FF));
    } else {
        out[0] = static_cast<uint16_t>(value);
    }
}

} // namespace

size_t DecodeUtf8ForDisplay(const char* text, size_t length, uint16_t* out, size_t capacity, size_t* written,
                            bool* damaged)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    size_t at = 0;
    while (at < length) {
        size_t used = 0;
        long value = DecodeOne(p + at, length - at, &used);
        if (value < 0) {
            value = 0xFFFD;
            if (damaged)
                *damaged = true;
        }
        if (n + UnitsOf(value) > capacity)
            break;
        PutUnits(value, out + n);
        n += UnitsOf(value);
        at += used;
    }
    *written = n;
    return at;
}
