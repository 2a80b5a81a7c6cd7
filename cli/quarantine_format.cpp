#include "cli/quarantine_format.h"

#include <cstdio>
#include <cstring>

const uint8_t kQuarantineKey[kQuarantineKeyLength] = {
    0x5C, 0xA3, 0x17, 0xE9, 0x6B, 0xD2, 0x31, 0x8F, 0xC4, 0x4E, 0xB7, 0x02, 0x99, 0x7A, 0xE5, 0x26,
};

void TransformQuarantineBytes(uint8_t* data, size_t count, uint64_t position)
{
    for (size_t i = 0; i < count; ++i)
        data[i] ^= kQuarantineKey[(position + i) % kQuarantineKeyLength];
}

namespace {

const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Sha256Block(uint32_t h[8], const uint8_t* p)
{
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t t1 = k + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        k = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
    h[5] += f;
    h[6] += g;
    h[7] += k;
}

// Copies the field [begin, end) into out (size bytes); false when empty or too long.
bool TakeField(const char* begin, const char* end, char* out, size_t size)
{
    size_t n = size_t(end - begin);
    if (n == 0 || n >= size)
        return false;
    memcpy(out, begin, n);
    out[n] = '\0';
    return true;
}

bool AllPrintable(const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if (*p < 0x20 || *p == 0x7F)
            return false;
    return true;
}

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F || c == static_cast<unsigned char>(kManifestEscape); }

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Takes an escaped text field: every escape must be complete and stand for
// a byte that needs one (so each entry has exactly one spelling), never NUL.
bool TakeEscapedField(const char* begin, const char* end, char* out, size_t size)
{
    size_t n = 0;
    for (const char* p = begin; p < end; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == static_cast<unsigned char>(kManifestEscape)) {
            if (end - p < 3)
                return false;
            int high = HexValue(p[1]), low = HexValue(p[2]);
            if (high < 0 || low < 0)
                return false;
            c = static_cast<unsigned char>(high * 16 + low);
            if (c == 0 || !NeedsEscape(c))
                return false;
            p += 2;
        }
        if (n + 1 >= size)
            return false;
        out[n++] = static_cast<char>(c);
    }
    if (n == 0)
        return false;
    out[n] = '\0';
    return true;
}

// Appends text with its line-breaking bytes escaped; false when it does not fit.
bool PutEscaped(char*& out, size_t& left, const char* text)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        size_t need = NeedsEscape(*p) ? 3 : 1;
        if (left <= need)
            return false;
        if (need == 3) {
            *out++ = kManifestEscape;
            *out++ = kHex[*p >> 4];
            *out++ = kHex[*p & 15];
        } else {
            *out++ = static_cast<char>(*p);
        }
        left -= need;
    }
    *out = '\0';
    return true;
}

bool PutText(char*& out, size_t& left, const char* text)
{
    size_t n = strlen(text);
    if (left <= n)
        return false;
    memcpy(out, text, n + 1);
    out += n;
    left -= n;
    return true;
}

} // namespace

void Sha256Begin(Sha256State& state)
{
    static const uint32_t start[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(state.h, start, sizeof start);
    state.length = 0;
    state.used = 0;
}

void Sha256Add(Sha256State& state, const uint8_t* data, size_t count)
{
    state.length += count;
    while (count > 0) {
        size_t take = sizeof state.block - state.used;
        if (take > count)
            take = count;
        memcpy(state.block + state.used, data, take);
        state.used += take;
        data += take;
        count -= take;
        if (state.used == sizeof state.block) {
            Sha256Block(state.h, state.block);
            state.used = 0;
        }
    }
}

void Sha256End(Sha256State& state, char hex[65])
{
    const uint64_t bits = state.length * 8;
    uint8_t tail[72] = {0x80};
    size_t pad = (state.used < 56 ? 56 : 120) - state.used;
    for (int i = 0; i < 8; ++i)
        tail[pad + i] = uint8_t(bits >> (56 - 8 * i));
    Sha256Add(state, tail, pad + 8);
    for (int i = 0; i < 8; ++i)
        snprintf(hex + 8 * i, 9, "%08x", static_cast<unsigned>(state.h[i]));
    hex[64] = '\0';
}

bool NormaliseSha256Hex(char* text)
{
    size_t i = 0;
    for (; text[i] != '\0'; ++i) {
        if (i >= 64)
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'F')
            text[i] = char(c - 'A' + 'a');
        else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return i == 64;
}

bool ParseManifestLine(const char* line, size_t length, ManifestEntry& entry)
{
    memset(&entry, 0, sizeof entry);
    if (length == 0 || length >= kManifestLineChars)
        return false;
    const char* fields[7];
    const char* ends[7];
    int count = 0;
    const char* p = line;
    const char* end = line + length;
    fields[0] = p;
    for (; p < end; ++p) {
        // Raw control bytes never stand in a line the program wrote.
        if (static_cast<unsigned char>(*p) < 0x20 && *p != '\t')
            return false;
        if (*p == 0x7F)
            return false;
        if (*p == '\t') {
            if (count >= 5)
                return false; // more than six fields
            ends[count++] = p;
            fields[count] = p + 1;
        }
    }
    ends[count++] = end;
    if (count != 5 && count != 6)
        return false;
    if (!TakeField(fields[0], ends[0], entry.time, sizeof entry.time) ||
        !TakeField(fields[1], ends[1], entry.sha256, sizeof entry.sha256) || !NormaliseSha256Hex(entry.sha256) ||
        !TakeEscapedField(fields[2], ends[2], entry.name, sizeof entry.name) ||
        !TakeEscapedField(fields[3], ends[3], entry.path, sizeof entry.path))
        return false;
    char size[24];
    if (!TakeField(fields[4], ends[4], size, sizeof size))
        return false;
    uint64_t value = 0;
    for (const char* s = size; *s; ++s) {
        if (*s < '0' || *s > '9' || value > (UINT64_MAX - 9) / 10)
            return false;
        value = value * 10 + uint64_t(*s - '0');
    }
    entry.size = value;
    if (count == 6) {
        static const char kRestored[] = "restored ";
        const size_t prefix = sizeof kRestored - 1;
        if (size_t(ends[5] - fields[5]) <= prefix || memcmp(fields[5], kRestored, prefix) != 0 ||
            !TakeField(fields[5] + prefix, ends[5], entry.restored, sizeof entry.restored))
            return false;
    }
    return AllPrintable(entry.time) && AllPrintable(entry.restored);
}

bool FormatManifestLine(const ManifestEntry& entry, char* out, size_t size)
{
    if (size == 0 || !AllPrintable(entry.time) || !AllPrintable(entry.restored) || entry.name[0] == '\0' ||
        entry.path[0] == '\0')
        return false;
    char number[24];
    snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(entry.size));
    char* p = out;
    size_t left = size;
    bool ok = PutText(p, left, entry.time) && PutText(p, left, "\t") && PutText(p, left, entry.sha256) &&
              PutText(p, left, "\t") && PutEscaped(p, left, entry.name) && PutText(p, left, "\t") &&
              PutEscaped(p, left, entry.path) && PutText(p, left, "\t") && PutText(p, left, number);
    if (ok && entry.restored[0] != '\0')
        ok = PutText(p, left, "\trestored ") && PutText(p, left, entry.restored);
    ok = ok && PutText(p, left, "\r\n");
    if (!ok)
        out[0] = '\0';
    return ok;
}
