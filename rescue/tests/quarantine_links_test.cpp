// Links planted in a quarantine folder are never followed: neither a scan
// that adds a line nor a restore that marks one writes to the file a link
// named like the manifest leads to (the program usually runs as root).
#include "rescue/tests/rescue_fixture.h"

#include "cli/quarantine_format.h"
#include "tests/support/sample_bytes.h"

#include <unistd.h>

namespace scx::rescue_test {
namespace {

using scx::test::BuildSample;
using scx::test::SampleKind;
using scx::test::SampleMachine;

class QuarantineLinks : public ScratchTest {};

TEST_F(QuarantineLinks, NoLinkInTheFolderIsWrittenThrough)
{
    const std::vector<uint8_t> kept = BuildSample(1, SampleKind::Exact, SampleMachine::I386);
    const std::vector<uint8_t> next = BuildSample(2, SampleKind::Exact, SampleMachine::I386);
    const std::string victimText = "someone else's file\n";
    struct Case {
        const char* label;
        const char* link;    // planted in the quarantine, leading to the victim
        bool restore;        // else a scan that keeps next.exe
        int code;
        const char* said;
        bool backInPlace;    // the restored or scanned file is where it was
    };
    const Case cases[] = {
        {"scan, manifest is a link", "manifest.tsv", false, 2, "the manifest cannot be written", true},
        {"restore, manifest is a link", "manifest.tsv", true, 5, "the manifest cannot be read", false},
        // The bytes go back; only the line stays unmarked.
        {"restore, manifest.new is a link", "manifest.new", true, 0, "but its manifest line could not be marked",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string base = dir + "/" + c.label;
        const std::string root = base + "/root", q = base + "/q", victim = base + "/victim";
        MakeFolders(root + "/docs");
        ASSERT_TRUE(WriteFile(root + "/docs/x.exe", kept));
        RescueRun keep = RunRescue({"--quarantine", q, root});
        ASSERT_EQ(keep.code, 1) << keep.out << keep.err;
        ASSERT_TRUE(WriteFile(root + "/docs/next.exe", next));
        ASSERT_TRUE(WriteText(victim, victimText));
        const std::string planted = q + "/" + c.link;
        unlink(planted.c_str());
        ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);

        RescueRun run = c.restore ? RunRescue({"--restore", Sha256Of(kept), "--quarantine", q, root})
                                  : RunRescue({"--quarantine", q, root});
        EXPECT_EQ(run.code, c.code) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(c.said), std::string::npos) << run.out << run.err;
        const std::vector<uint8_t> victimNow = ReadFile(victim);
        EXPECT_EQ(std::string(victimNow.begin(), victimNow.end()), victimText);
        EXPECT_EQ(Exists(root + (c.restore ? "/docs/x.exe" : "/docs/next.exe")), c.backInPlace);
    }
}

} // namespace
} // namespace scx::rescue_test
