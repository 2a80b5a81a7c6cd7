// Small registry hives for the tests. hivex cannot create an empty hive, so
// the smallest valid one (header, one bin, a root key and its security cell)
// is written from scratch; hivex then adds keys and values to it.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace scx::rescue_test {

struct TestValue {
    std::string name;
    std::string text;          // REG_SZ data when type is 1
    uint32_t type = 1;
    std::vector<uint8_t> raw;  // data of any other type
};

bool WriteMinimalHive(const std::string& path);
// Adds the key path (created as needed) with these values to the hive.
bool AddValues(const std::string& hivePath, const std::string& keyPath, const std::vector<TestValue>& values);
// The values of a key: name -> text for strings, "<type N, M bytes>" for
// others. present is false when the key is missing.
std::map<std::string, std::string> ReadValues(const std::string& hivePath, const std::string& keyPath,
                                              bool* present = nullptr);
// Every key path below the root, sorted.
std::vector<std::string> ListKeys(const std::string& hivePath);

} // namespace scx::rescue_test
