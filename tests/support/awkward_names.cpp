#include "tests/support/awkward_names.h"

#include "detect/utf8.h"
#include "platform/handle_guard.h"
#include "tests/support/samples.h"

#include <windows.h>

namespace scx::test {

namespace {

bool MakeDirsExact(const std::string& base, const std::string& relative)
{
    std::string path = base;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos)
            end = relative.size();
        path += "\\" + relative.substr(start, end - start);
        if (!CreateDirectoryW(ExactWidePath(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        start = end + 1;
    }
    return true;
}

// A chain of folders making the relative path at least length characters long.
std::string DeepFolder(size_t length)
{
    std::string relative;
    int level = 0;
    while (relative.size() < length) {
        if (!relative.empty())
            relative += "\\";
        relative += "deep" + std::to_string(level++) + std::string(40, 'd');
    }
    return relative;
}

} // namespace

const std::vector<AwkwardCase>& AwkwardCases()
{
    static const std::vector<AwkwardCase> cases = {
        {"CyrillicFolderAndFile", "\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0", "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.exe",
         "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb" "2.exe", true},
        {"ChineseFolderAndFile", "\xe6\x96\x87\xe4\xbb\xb6\xe5\xa4\xb9", "\xe7\xa8\x8b\xe5\xba\x8f.exe",
         "\xe7\xa8\x8b\xe5\xba\x8f.com", true},
        {"MixedNames", "Mix \xd0\x96 \xe6\x96\x87 caf\xc3\xa9", "a \xd0\x96\xe6\x96\x87.exe", "a.exe", true},
        {"LongerThanMaxPath", DeepFolder(300), "deep.exe", "deep2.exe", false},
        {"LongerThanAThousand", DeepFolder(1100), "deeper.exe", "deeper2.exe", false},
        {"TrailingDot", "", "hidden.", "hidden", false},
        {"TrailingSpace", "", "space.exe ", "space.exe", false},
        {"FolderEndingInADot", "dotted.", "x.exe", "dotted-x.exe", false},
        {"FolderEndingInASpace", "spaced ", "y.exe", "spaced-y.exe", false},
        {"Aux", "", "aux.exe", "aux2.exe", false},
        {"Con", "", "con.exe", "con2.exe", false},
        {"Nul", "", "nul.txt", "nul2.txt", false},
        {"Com1", "", "com1.exe", "com2x.exe", false},
        {"Lpt1", "", "lpt1.dat", "lpt2x.dat", false},
    };
    return cases;
}

std::wstring ExactWidePath(const std::string& utf8Path)
{
    std::wstring out(utf8Path.size() + 1, L'\0');
    size_t n = 0;
    if (!Utf8ToUtf16(utf8Path.c_str(), &out[0], out.size(), &n))
        return std::wstring();
    out.resize(n);
    return L"\\\\?\\" + out;
}

bool ExactWrite(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HandleGuard h(CreateFileW(ExactWidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    return h.valid() && WriteFile(h.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool ExactExists(const std::string& path)
{
    return GetFileAttributesW(ExactWidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> ExactRead(const std::string& path)
{
    std::vector<uint8_t> bytes;
    HandleGuard h(CreateFileW(ExactWidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr));
    if (!h.valid())
        return bytes;
    bytes.resize(GetFileSize(h.get(), nullptr));
    DWORD got = 0;
    if (!ReadFile(h.get(), bytes.data(), DWORD(bytes.size()), &got, nullptr))
        got = 0;
    bytes.resize(got);
    return bytes;
}

std::vector<PlantedCase> PlantAwkwardNames(const std::string& base, int record, bool codePageOnly)
{
    std::vector<PlantedCase> planted;
    for (const AwkwardCase& c : AwkwardCases()) {
        if (codePageOnly && !c.codePageOnly)
            continue;
        const std::string folder = c.folder.empty() ? base : base + "\\" + c.folder;
        if (!c.folder.empty() && !MakeDirsExact(base, c.folder))
            return {};
        PlantedCase p{folder + "\\" + c.infected, folder + "\\" + c.nearMiss,
                      BuildSample(record, SampleKind::LongerByOne)};
        if (!ExactWrite(p.infected, BuildSample(record)) || !ExactWrite(p.nearMiss, p.nearMissBytes))
            return {};
        planted.push_back(p);
    }
    return planted;
}

} // namespace scx::test
