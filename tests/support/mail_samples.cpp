#include "tests/support/mail_samples.h"

namespace scx::test {

const char kMailPattern[] =
    "M4V-O=7)I>\"!F:7AT=7)E(&QI;F4Z(&AA<FUL97-S('1E>'0@<W1A;F1I;F<@"
    "M:6X@9F]R(&%N(&5N8V]D960@;6%I;\"!A='1A8V";
static_assert(sizeof kMailPattern == kMailPatternLength + 1, "100 pattern bytes");

std::string MailFiller(size_t n)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLNOPQRSTUVWXYZ";
    std::string s;
    s.reserve(n);
    for (size_t i = 0; i < n; ++i)
        s += kAlphabet[i % (sizeof kAlphabet - 1)];
    return s;
}

std::string MailFileWith(size_t totalLength, size_t pos, const std::string& insert)
{
    std::string text = "begin 644 a.dat\r\n";
    // Filler in 61-character lines, the usual width of encoded text.
    std::string filler = MailFiller(totalLength);
    size_t i = 0;
    while (text.size() < totalLength) {
        if (i > 0 && i % 61 == 0 && text.size() + 2 <= totalLength)
            text += "\r\n";
        text += filler[i++ % filler.size()];
    }
    text.resize(totalLength);
    if (pos < text.size())
        text.replace(pos, insert.size(), insert);
    text.resize(totalLength);
    return text;
}

std::string SplitPattern()
{
    std::string p = kMailPattern;
    return p.substr(0, 37) + "\r\n\t  " + p.substr(37, 40) + "\n " + p.substr(77);
}

} // namespace scx::test
