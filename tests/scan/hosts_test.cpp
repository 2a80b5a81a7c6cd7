// The hosts-file step of the auto-start repair, on the prefix's real hosts
// files (saved and put back byte for byte). The program runs as the default
// NT version and again as Windows 98, where the hosts file lives elsewhere.
#include "scan/engine.h"
#include "scan/repair.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/mail_samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

std::string NtHostsPath()
{
    char dir[MAX_PATH];
    UINT n = GetSystemDirectoryA(dir, sizeof dir);
    return n && n < sizeof dir ? std::string(dir) + "\\drivers\\etc\\hosts" : std::string();
}

std::string NineXHostsPath()
{
    char dir[MAX_PATH];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    return n && n < sizeof dir ? std::string(dir) + "\\hosts" : std::string();
}

bool RunningAsNineX()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// Keeps one file as it was: bytes, or absence.
class SavedFile {
public:
    explicit SavedFile(std::string path) : path_(std::move(path))
    {
        existed_ = FileExists(path_);
        if (existed_)
            bytes_ = ReadBytes(path_);
    }
    ~SavedFile() { Restore(); }
    SavedFile(const SavedFile&) = delete;
    SavedFile& operator=(const SavedFile&) = delete;

    void Restore()
    {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (existed_)
            WriteBytes(path_, bytes_);
        else
            DeleteFileA(path_.c_str());
    }
    const std::string& path() const { return path_; }
    bool existed() const { return existed_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::string path_;
    bool existed_ = false;
    std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class HostsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(nt_.path().empty());
        ASSERT_FALSE(nineX_.path().empty());
        own_ = RunningAsNineX() ? &nineX_ : &nt_;
        other_ = RunningAsNineX() ? &nt_ : &nineX_;
        savedMode_ = ActionMode;
        memset(ScanState.currentFilePath, 0, sizeof ScanState.currentFilePath);
        memset(ScanState.autoStartValueName, 0, sizeof ScanState.autoStartValueName);
    }
    void TearDown() override
    {
        ActionMode = savedMode_;
        nt_.Restore();
        nineX_.Restore();
    }

    SavedFile nt_{NtHostsPath()};
    SavedFile nineX_{NineXHostsPath()};
    SavedFile* own_ = nullptr;   // the hosts file of the platform we run as
    SavedFile* other_ = nullptr; // the other platform's, never examined
    int savedMode_ = 0;
};

TEST_F(HostsTest, ThePrefixHostsFileIsLeftAsItIs)
{
    // A new NT prefix has a hosts file; the Windows 98 one has none.
    if (!RunningAsNineX()) {
        ASSERT_TRUE(own_->existed()) << own_->path();
    }
    RecordingFrontEnd frontEnd;
    ActionMode = kActionDelete;
    EXPECT_EQ(1, RepairAutoStart("W32/Vexmor.N.Trojan"));
    EXPECT_EQ(own_->existed(), FileExists(own_->path()));
    if (own_->existed()) {
        EXPECT_EQ(own_->bytes(), ReadBytes(own_->path()));
    }
    EXPECT_TRUE(frontEnd.lines().empty());
}

struct HostsCase {
    const char* name;
    std::string content;
    bool acted;
};

class HostsContent : public HostsTest, public ::testing::WithParamInterface<HostsCase> {};

// Only the platform's own hosts file is examined, and only a "begin" file
// whose stripped head holds the pattern is acted on.
TEST_P(HostsContent, DeletesOnlyAMatchingHostsFileOfThisPlatform)
{
    const HostsCase& c = GetParam();
    ASSERT_TRUE(WriteText(own_->path(), c.content)) << own_->path();
    ASSERT_TRUE(WriteText(other_->path(), c.content)) << other_->path();
    RecordingFrontEnd frontEnd;
    ActionMode = kActionDelete;
    const int removedBefore = ScanState.filesRemoved;

    EXPECT_EQ(1, RepairAutoStart("W32/Vexmor.N.Trojan"));

    EXPECT_EQ(!c.acted, FileExists(own_->path()));
    if (c.acted) {
        EXPECT_EQ(std::vector<std::string>{own_->path() + "     W32/Nyxem.Worm removed"}, frontEnd.lines());
        EXPECT_EQ(removedBefore + 1, ScanState.filesRemoved);
    } else {
        EXPECT_EQ(Bytes(c.content), ReadBytes(own_->path()));
        EXPECT_TRUE(frontEnd.lines().empty());
    }
    EXPECT_EQ(Bytes(c.content), ReadBytes(other_->path()));
}

std::vector<HostsCase> HostsCases()
{
    const std::string p = kMailPattern;
    return {
        {"PatternSplitAcrossLines", MailFileWith(3000, 1000, SplitPattern()), true},
        {"BeginInCapitals", "BEGIN" + MailFileWith(3000, 1000, p).substr(5), true},
        {"PatternBeyondTheFirst4096Bytes", MailFileWith(10000, 5000, p), false},
        {"PatternWithoutBegin", "127.0.0.1 localhost\r\n# " + p + "\r\n", false},
        {"OrdinaryHosts", "127.0.0.1 localhost\r\n::1 localhost\r\n", false},
    };
}

INSTANTIATE_TEST_SUITE_P(Files, HostsContent, ::testing::ValuesIn(HostsCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct HostsActionCase {
    const char* name;
    int mode;
    const char* suffix;
    bool kept;
};

class HostsAction : public HostsTest, public ::testing::WithParamInterface<HostsActionCase> {};

// Two infected files in a row: while the hosts file stays, the second check
// finds the pattern again.
TEST_P(HostsAction, ActsByActionModeAndFindsThePatternAgain)
{
    const HostsActionCase& c = GetParam();
    const std::string content = MailFileWith(2000, 300, SplitPattern());
    ASSERT_TRUE(WriteText(own_->path(), content));
    RecordingFrontEnd frontEnd;
    ActionMode = c.mode;

    RepairAutoStart("W32/Vexmor.N.Trojan");
    RepairAutoStart("W32/Vexmor.Bc.Trojan");

    const std::string line = own_->path() + "     W32/Nyxem.Worm " + c.suffix;
    EXPECT_EQ(std::vector<std::string>(c.kept ? 2 : 1, line), frontEnd.lines());
    EXPECT_EQ(c.kept, FileExists(own_->path()));
    if (c.kept) {
        EXPECT_EQ(Bytes(content), ReadBytes(own_->path()));
    }
}

const HostsActionCase kHostsActionCases[] = {
    {"Delete", kActionDeleteToo, "removed", false},
    {"Leave", kActionLeave, "Not Disinfected As Per User's Selection", true},
    // "hosts" has no extension to change: nothing is renamed.
    {"Rename", kActionRename, "Rename failed", true},
};

INSTANTIATE_TEST_SUITE_P(Modes, HostsAction, ::testing::ValuesIn(kHostsActionCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
