#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace scx::test {
// Lower-case hex SHA-256 of the bytes.
std::string Sha256Hex(const void* data, size_t length);
}
