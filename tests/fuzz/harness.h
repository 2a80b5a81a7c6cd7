// The fuzz harnesses of the file-format code, one per format. Each takes one
// input, runs it through the code as the program would, and aborts (after a
// message on stderr) when a property the program relies on does not hold.
// The libFuzzer targets and the native regression tests share them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace scx::fuzz {

// The last byte chooses the length the file claims (a record's size, or its
// own); the rest is the file the check reads.
int FuzzPe(const uint8_t* data, size_t size);
// First byte: odd takes the record from the next 170 bytes, even uses the
// signature record in use; the rest is the file.
int FuzzMail(const uint8_t* data, size_t size);
// First byte: how many output bytes succeed before writes fail (0: all);
// then destination NUL source NUL and the old wininit.ini.
int FuzzWininit(const uint8_t* data, size_t size);
// First byte: odd parses a counter-title list, even a data block whose
// "id process" index is the next four bytes.
int FuzzPerf(const uint8_t* data, size_t size);
// Value data NUL expansion NUL path of the file under check.
int FuzzRunValue(const uint8_t* data, size_t size);

using Seed = std::pair<std::string, std::vector<uint8_t>>;
// Small generated inputs per target: record samples, variants, blocks.
std::vector<Seed> SeedsFor(const std::string& target);

} // namespace scx::fuzz
