#include "detect/wininit_edit.h"

#include "detect/text.h"

#include <cstring>

namespace {

bool WriteText(WininitOutput& out, const char* text)
{
    return out.Write(text, strlen(text));
}

bool WriteEntry(WininitOutput& out, const char* destination, const char* source)
{
    return WriteText(out, destination) && WriteText(out, "=") && WriteText(out, source) &&
           WriteText(out, "\r\n");
}

} // namespace

long ReadWininitPiece(WininitInput& in, char* piece)
{
    size_t n = 0;
    while (n < kWininitPieceChars) {
        int c = in.NextByte();
        if (c == WininitInput::kError)
            return -1;
        if (c == WininitInput::kEnd)
            break;
        piece[n++] = char(c);
        if (c == '\n')
            break;
    }
    piece[n] = '\0';
    return long(n);
}

bool IsRenameHeader(const char* piece, size_t length)
{
    static const char kHeader[] = "[rename]";
    if (length < 8)
        return false;
    for (size_t i = 0; i < 8; ++i) {
        if (LowerAscii(piece[i]) != kHeader[i])
            return false;
    }
    return true;
}

bool WriteNewWininit(WininitOutput& out, const char* destination, const char* source)
{
    return WriteText(out, "[rename]\r\n") && WriteEntry(out, destination, source);
}

bool RewriteWininit(WininitInput& in, WininitOutput& out, const char* destination, const char* source)
{
    bool inSection = false;
    bool written = false;
    bool atLineStart = true; // the piece to come begins a line
    char piece[kWininitPieceChars + 1];
    for (;;) {
        long n = ReadWininitPiece(in, piece);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!written) {
            if (inSection) {
                // The next section begins: the entry closes ours. Never in
                // the middle of a line longer than one piece.
                if (piece[0] == '[' && atLineStart) {
                    if (!WriteEntry(out, destination, source))
                        return false;
                    written = true;
                }
            } else if (IsRenameHeader(piece, size_t(n))) {
                inSection = true;
            }
        }
        if (!out.Write(piece, size_t(n)))
            return false;
        atLineStart = piece[n - 1] == '\n';
    }
    if (written)
        return true;
    if (!atLineStart && !WriteText(out, "\r\n"))
        return false; // the old last line had no line end
    if (!inSection && !WriteText(out, "[rename]\r\n"))
        return false;
    return WriteEntry(out, destination, source);
}
