#include "rescue/tests/hive_fixture.h"

#include "rescue/tests/rescue_fixture.h"

#include <hivex.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace scx::rescue_test {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { memcpy(&b[at], &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { memcpy(&b[at], &v, 4); }

std::vector<uint8_t> Utf16(const std::string& ascii)
{
    std::vector<uint8_t> out;
    for (char c : ascii) {
        out.push_back(uint8_t(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

hive_node_h Walk(hive_h* h, const std::string& keyPath, bool create)
{
    hive_node_h node = hivex_root(h);
    size_t start = 0;
    while (node && start <= keyPath.size()) {
        size_t end = keyPath.find('\\', start);
        if (end == std::string::npos)
            end = keyPath.size();
        std::string part = keyPath.substr(start, end - start);
        hive_node_h child = hivex_node_get_child(h, node, part.c_str());
        if (!child && create)
            child = hivex_node_add_child(h, node, part.c_str());
        node = child;
        start = end + 1;
    }
    return node;
}

void ListInto(hive_h* h, hive_node_h node, const std::string& path, std::vector<std::string>& out)
{
    hive_node_h* children = hivex_node_children(h, node);
    if (!children)
        return;
    for (size_t i = 0; children[i]; ++i) {
        char* name = hivex_node_name(h, children[i]);
        std::string sub = path.empty() ? name : path + "\\" + name;
        free(name);
        out.push_back(sub);
        ListInto(h, children[i], sub, out);
    }
    free(children);
}

} // namespace

bool WriteMinimalHive(const std::string& path)
{
    std::vector<uint8_t> b(0x2000, 0);
    // Base block.
    memcpy(&b[0], "regf", 4);
    Put32(b, 0x04, 1);        // sequence numbers, equal: synced
    Put32(b, 0x08, 1);
    Put32(b, 0x14, 1);        // version 1.3
    Put32(b, 0x18, 3);
    Put32(b, 0x20, 1);        // format: direct memory load
    Put32(b, 0x24, 0x20);     // root cell
    Put32(b, 0x28, 0x1000);   // bins' size
    Put32(b, 0x2C, 1);
    uint32_t sum = 0;
    for (size_t i = 0; i < 0x1FC; i += 4) {
        uint32_t v;
        memcpy(&v, &b[i], 4);
        sum ^= v;
    }
    Put32(b, 0x1FC, sum);
    // One bin.
    const size_t bin = 0x1000;
    memcpy(&b[bin], "hbin", 4);
    Put32(b, bin + 4, 0);
    Put32(b, bin + 8, 0x1000);
    // Root key cell at 0x20: 4 size bytes, 76 bytes of record, the name "ROOT".
    const size_t nk = bin + 0x20;
    const uint32_t nkSize = 88, skAt = 0x20 + nkSize, skSize = 48;
    Put32(b, nk, uint32_t(-int32_t(nkSize)));
    memcpy(&b[nk + 4], "nk", 2);
    Put16(b, nk + 6, 0x2C);                 // compressed name, hive entry, no delete
    Put32(b, nk + 4 + 0x10, 0xFFFFFFFF);    // parent: none
    Put32(b, nk + 4 + 0x1C, 0xFFFFFFFF);    // subkey lists
    Put32(b, nk + 4 + 0x20, 0xFFFFFFFF);
    Put32(b, nk + 4 + 0x28, 0xFFFFFFFF);    // value list
    Put32(b, nk + 4 + 0x2C, skAt);          // security cell
    Put32(b, nk + 4 + 0x30, 0xFFFFFFFF);    // class name
    Put16(b, nk + 4 + 0x48, 4);
    memcpy(&b[nk + 4 + 0x4C], "ROOT", 4);
    // Security cell: a list of one, used once, a minimal self-relative descriptor.
    const size_t sk = bin + skAt;
    Put32(b, sk, uint32_t(-int32_t(skSize)));
    memcpy(&b[sk + 4], "sk", 2);
    Put32(b, sk + 8, skAt);
    Put32(b, sk + 12, skAt);
    Put32(b, sk + 16, 1);
    Put32(b, sk + 20, 20);
    b[sk + 24] = 1;                          // revision
    Put16(b, sk + 26, 0x8004);               // self-relative, DACL present (null)
    // The rest of the bin is one free cell.
    Put32(b, bin + skAt + skSize, 0x1000 - (skAt + skSize));
    return WriteFile(path, b);
}

bool AddValues(const std::string& hivePath, const std::string& keyPath, const std::vector<TestValue>& values)
{
    hive_h* h = hivex_open(hivePath.c_str(), HIVEX_OPEN_WRITE);
    if (!h)
        return false;
    hive_node_h key = Walk(h, keyPath, true);
    bool ok = key != 0;
    std::vector<std::vector<uint8_t>> data;
    std::vector<hive_set_value> set;
    for (const TestValue& v : values)
        data.push_back(v.type == 1 || v.type == 2 ? Utf16(v.text) : v.raw);
    for (size_t i = 0; i < values.size(); ++i)
        set.push_back({const_cast<char*>(values[i].name.c_str()), hive_type(values[i].type), data[i].size(),
                       reinterpret_cast<char*>(data[i].data())});
    if (ok)
        ok = hivex_node_set_values(h, key, set.size(), set.data(), 0) == 0;
    ok = ok && hivex_commit(h, nullptr, 0) == 0;
    hivex_close(h);
    return ok;
}

std::map<std::string, std::string> ReadValues(const std::string& hivePath, const std::string& keyPath, bool* present)
{
    std::map<std::string, std::string> out;
    if (present)
        *present = false;
    hive_h* h = hivex_open(hivePath.c_str(), 0);
    if (!h)
        return out;
    hive_node_h key = Walk(h, keyPath, false);
    if (key) {
        if (present)
            *present = true;
        hive_value_h* values = hivex_node_values(h, key);
        for (size_t i = 0; values && values[i]; ++i) {
            char* name = hivex_value_key(h, values[i]);
            hive_type type;
            size_t length;
            hivex_value_type(h, values[i], &type, &length);
            std::string text;
            if (type == hive_t_REG_SZ || type == hive_t_REG_EXPAND_SZ) {
                char* s = hivex_value_string(h, values[i]);
                text = s ? s : "";
                free(s);
            } else {
                text = "<type " + std::to_string(type) + ", " + std::to_string(length) + " bytes>";
            }
            out[name] = text;
            free(name);
        }
        free(values);
    }
    hivex_close(h);
    return out;
}

std::vector<std::string> ListKeys(const std::string& hivePath)
{
    std::vector<std::string> out;
    hive_h* h = hivex_open(hivePath.c_str(), 0);
    if (!h)
        return out;
    ListInto(h, hivex_root(h), "", out);
    hivex_close(h);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace scx::rescue_test
