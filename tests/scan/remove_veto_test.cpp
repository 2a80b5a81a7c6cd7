// The front end is asked just before an infected file is deleted, by the file
// check and the mail-attachment check alike. A refusal keeps the file exactly
// as it was: reported as not removed, with nothing else tried (no attribute
// reset, no process ended, no removal at the next start).
#include "scan/mail_scan.h"
#include "tests/scan/engine_fixture.h"
#include "tests/support/mail_samples.h"
#include "tests/support/system_requests.h"

#include <string>
#include <vector>

using namespace scx::test;

namespace {

const char kFamily[] = "W32/Vexmor.Trojan";
const char kMailName[] = "W32/Nyxem.Worm";
constexpr int kRecord = 0;

enum class Check { TrojanFile, MailAttachment };

struct VetoCase {
    const char* name;
    Check check;
    int mode;
    bool allow;
    bool asked;          // the front end hears of the removal
    bool kept;           // the file is still there, unchanged
    const char* suffix;  // after "<path>     <detection name> "
};

const VetoCase kVetoCases[] = {
    {"FileRefused", Check::TrojanFile, kActionDelete, false, true, true, "Unable to remove"},
    {"FileRefusedModeDeleteToo", Check::TrojanFile, kActionDeleteToo, false, true, true, "Unable to remove"},
    {"FileAllowed", Check::TrojanFile, kActionDelete, true, true, false, "removed"},
    {"FileRenameIsNotAsked", Check::TrojanFile, kActionRename, false, false, false, "renamed"},
    {"FileLeaveIsNotAsked", Check::TrojanFile, kActionLeave, false, false, true,
     "not disinfected as per user's selection"},
    {"MailRefused", Check::MailAttachment, kActionDelete, false, true, true, "Remove failed"},
    {"MailAllowed", Check::MailAttachment, kActionDelete, true, true, false, "removed"},
    {"MailRenameIsNotAsked", Check::MailAttachment, kActionRename, false, false, false, "renamed"},
};

class RemoveVeto : public EngineTest, public ::testing::WithParamInterface<VetoCase> {};

TEST_P(RemoveVeto, FrontEndDecidesBeforeTheFileGoes)
{
    const VetoCase& c = GetParam();
    const bool mail = c.check == Check::MailAttachment;
    const std::string path = Path(mail ? "mail.uue" : "sample.exe");
    const std::string name = mail ? kMailName : RecordName(kRecord);
    if (mail) {
        ASSERT_TRUE(WriteText(path, MailFileWith(2500, 800, kMailPattern)));
    } else {
        ASSERT_TRUE(WriteSample(path, kRecord));
    }
    if (!mail && (c.mode == kActionDelete || c.mode == kActionDeleteToo)) {
        // A refusal must not even clear the attributes (the mail check never does).
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    }
    const std::vector<uint8_t> before = ReadBytes(path);
    const DWORD attributesBefore = GetFileAttributesA(path.c_str());
    const std::vector<std::string> pendingBefore = PendingRenameEntries();
    const bool allow = c.allow;
    frontEnd().DecideRemoval([allow](const std::string&, const std::string&) { return allow; });
    ActionMode = c.mode;

    EXPECT_EQ(1, mail ? ScanMailAttachment(kFamily, path.c_str()) : CheckTrojanFile(kFamily, path.c_str()));

    const auto& asked = frontEnd().removalsAsked();
    if (c.asked) {
        EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{path, name}}), asked);
    } else {
        EXPECT_TRUE(asked.empty()) << "asked about " << asked.front().first;
    }
    EXPECT_EQ(std::vector<std::string>{path + "     " + name + " " + c.suffix}, lines());
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(c.kept || c.mode == kActionRename ? 0 : 1, ScanState.filesRemoved);
    EXPECT_EQ(0, ScanState.rebootNeeded);
    EXPECT_EQ(pendingBefore, PendingRenameEntries()) << "no removal at the next start";
    EXPECT_EQ(c.kept, FileExists(path));
    if (c.kept) {
        EXPECT_EQ(before, ReadBytes(path));
        EXPECT_EQ(attributesBefore, GetFileAttributesA(path.c_str()));
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // A renamed file is a new name in the case folder; the fixture removes it.
}

INSTANTIATE_TEST_SUITE_P(Engine, RemoveVeto, ::testing::ValuesIn(kVetoCases),
                         [](const ::testing::TestParamInfo<VetoCase>& info) { return std::string(info.param.name); });

} // namespace
