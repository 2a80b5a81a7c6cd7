#include "rescue/rescue.h"

#include "detect/text.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

std::string WindowsPathOf(const std::string& drive, const std::string& relative)
{
    std::string out = drive;
    out += '\\';
    for (char c : relative)
        out += c == '/' ? '\\' : c;
    return out;
}

namespace {

// The entry of folder whose name equals name but for ASCII letter case;
// an exact match wins.
bool FindEntry(const std::string& folder, const std::string& name, std::string& found)
{
    struct stat st;
    if (lstat((folder + "/" + name).c_str(), &st) == 0) {
        found = name;
        return true;
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool ok = false;
    while (dirent* entry = readdir(dir)) {
        if (EqualNoCase(entry->d_name, name.c_str())) {
            found = entry->d_name;
            ok = true;
            break;
        }
    }
    closedir(dir);
    return ok;
}

} // namespace

std::string FindNoCase(const std::string& root, const std::string& windowsRelative, bool lastMayBeMissing)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : windowsRelative) {
        if (c == '\\' || c == '/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    std::string path = root;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == "..")
            return std::string(); // never leave the root
        std::string found;
        if (!FindEntry(path, parts[i], found)) {
            if (lastMayBeMissing && i + 1 == parts.size())
                found = parts[i];
            else
                return std::string();
        }
        path += "/" + found;
    }
    return path;
}

bool IsValidUtf8(const std::string& bytes)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size(), i = 0;
    while (i < n) {
        unsigned c = p[i];
        size_t more;
        unsigned min;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { more = 1; min = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { more = 2; min = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { more = 3; min = 0x10000; }
        else return false;
        unsigned value = c & (0x3F >> more);
        for (size_t k = 1; k <= more; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
            value = value << 6 | (p[i + k] & 0x3F);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

std::string DisplayText(const std::string& bytes)
{
    if (IsValidUtf8(bytes))
        return bytes;
    // Character by character: valid sequences stay, each stray byte is '?'.
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t length = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                                                  : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
        if (length && i + length <= bytes.size() && IsValidUtf8(bytes.substr(i, length))) {
            out += bytes.substr(i, length);
            i += length;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}
