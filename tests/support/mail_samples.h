// Harmless uuencoded-looking text files for the mail-attachment content scan.
#pragma once
#include <cstddef>
#include <string>

namespace scx::test {

// The 100 plain pattern bytes of the mail-attachment signature.
extern const char kMailPattern[];
constexpr size_t kMailPatternLength = 100;

// Text of length n with no white space that never holds the pattern.
std::string MailFiller(size_t n);

// A file of exactly totalLength bytes that starts with "begin 644 a.dat"
// and a line break, and holds insert at raw position pos (the rest filler
// laid out in lines). pos must lie after the first line.
std::string MailFileWith(size_t totalLength, size_t pos, const std::string& insert);

// The pattern broken over two lines with an indent, as an encoder might.
std::string SplitPattern();

} // namespace scx::test
