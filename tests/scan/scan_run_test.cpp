// The scan run: what it walks, the statistics block, the final status and
// the restart question.
#include "tests/scan/engine_fixture.h"
#include "detect/text.h"
#include "ui/dialog_front_end.h"
#include "ui/paced_status.h"
#include "ui/scan_messages.h"

using namespace scx::test;

namespace {

constexpr int kRecord = 1;

std::vector<std::string> Statistics(int scanned, int infected, int removed)
{
    std::vector<std::string> block;
    if (infected > 0)
        block.push_back(" ");
    block.push_back("Scanning statistics");
    block.push_back("------------------------------");
    block.push_back("Total files scanned\t\t:  " + std::to_string(scanned));
    block.push_back("Total files infected\t\t:  " + std::to_string(infected));
    block.push_back("Total files removed\t\t:  " + std::to_string(removed));
    return block;
}

const char kRestartQuestion[] =
    "The system has to be restarted to remove the virus completely from your system. \n\n Restart now?";

} // namespace

class ScanRun : public EngineTest {
protected:
    void Target(const std::string& target) { CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, target.c_str()); }
};

struct StatisticsCase {
    const char* name;
    int scanned, infected, removed;
};

class StatisticsBlock : public ScanRun, public ::testing::WithParamInterface<StatisticsCase> {};

TEST_P(StatisticsBlock, ListsTheTotalsAsTheyStand)
{
    const StatisticsCase& c = GetParam();
    ScanState.filesScanned = c.scanned;
    ScanState.filesInfected = c.infected;
    ScanState.filesRemoved = c.removed;

    EXPECT_EQ(kScanFinished, RunScan(frontEnd())); // empty target: no memory stage, no walk

    EXPECT_EQ(Statistics(c.scanned, c.infected, c.removed), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning completed"}, statuses());
    EXPECT_TRUE(ScanState.summaryStarted);
}

INSTANTIATE_TEST_SUITE_P(Totals, StatisticsBlock,
                         ::testing::Values(StatisticsCase{"NothingFound", 0, 0, 0},
                                           StatisticsCase{"FoundAndRemoved", 1234, 2, 2},
                                           StatisticsCase{"FoundNoneRemoved", 10, 3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanRun, OneFolderIsWalkedAndSummed)
{
    const std::string sample = Path("sub\\x.exe");
    ASSERT_TRUE(MakeDirs(Path("sub")));
    ASSERT_TRUE(WriteSample(sample, kRecord));
    ASSERT_TRUE(WriteText(Path("readme.txt"), "clean"));
    Target(dir_);

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    std::vector<std::string> expected{RemovedLine(sample, RecordName(kRecord))};
    for (const std::string& line : Statistics(2, 1, 1))
        expected.push_back(line);
    EXPECT_EQ(expected, lines());
    ASSERT_FALSE(statuses().empty());
    EXPECT_EQ("Scanning completed", statuses().back());
    EXPECT_FALSE(FileExists(sample));
}

TEST_F(ScanRun, EscapeAnsweredYesEndsTheWalkButNotTheSummary)
{
    ASSERT_TRUE(WriteSample(Path("x.exe"), kRecord));
    Target(dir_);
    frontEnd().Answer(kQuestionStopScan, IDYES);
    PostMessageA(window(), WM_KEYDOWN, VK_ESCAPE, 0);

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    ASSERT_EQ(1u, frontEnd().questions().size());
    EXPECT_EQ(kQuestionStopScan, frontEnd().questions()[0].which);
    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning terminated"}, statuses());
    EXPECT_TRUE(FileExists(Path("x.exe")));
}

// A stop confirmed before the scan began: neither stage runs (the sample
// stays, nothing is counted) and the run ends with its summary.
TEST_F(ScanRun, StopRequestedBeforeTheStartSkipsBothStages)
{
    ASSERT_TRUE(WriteSample(Path("x.exe"), kRecord));
    Target(dir_);
    ScanState.stopRequested = 1;

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning terminated"}, statuses());
    EXPECT_TRUE(FileExists(Path("x.exe")));
    EXPECT_EQ(0, ScanState.filesScanned);
}

TEST_F(ScanRun, RestartQuestionIsAskedWhenARemovalWasScheduled)
{
    ScanState.rebootNeeded = 1;
    frontEnd().Answer(kQuestionRestart, IDNO);

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    ASSERT_EQ(1u, frontEnd().questions().size());
    const auto& asked = frontEnd().questions()[0];
    EXPECT_EQ(kQuestionRestart, asked.which);
    EXPECT_EQ("Scourix Ver 1.0", asked.caption);
    EXPECT_EQ(kRestartQuestion, asked.text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), asked.flags);
    // The question follows the summary and the final status.
    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning completed"}, statuses());
}

TEST_F(ScanRun, NoRestartQuestionWithoutAScheduledRemoval)
{
    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));
    EXPECT_TRUE(frontEnd().questions().empty());
}

TEST_F(ScanRun, TargetTooLongForAPatternWalksNothing)
{
    Target(std::string(258, 'x'));
    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));
    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(0, ScanState.filesScanned);
    ASSERT_FALSE(statuses().empty());
    EXPECT_EQ("Scanning completed", statuses().back());
}

// --- The paced status label ----------------------------------------------------------
//
// The dialog's label is refreshed by time; what it shows when a result line
// or the statistics arrive must still be what it showed when every status was
// painted.

namespace {

// Stands in for the dialog: a label paced by PacedStatus, and for every
// result line the label's text at the moment the line arrived.
class LabelWindow {
public:
    LabelWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ScxLabelWindow";
        RegisterClassA(&wc); // fails harmlessly when already registered
        hwnd_ = CreateWindowExA(0, wc.lpszClassName, "label", WS_OVERLAPPED, 0, 0, 100, 40, nullptr, nullptr,
                                wc.hInstance, nullptr);
        label_ = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 90, 20, hwnd_, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        previous_ = ScanState.mainWindow;
        ScanState.mainWindow = hwnd_;
    }
    ~LabelWindow()
    {
        ScanState.mainWindow = previous_;
        DestroyWindow(hwnd_);
    }
    LabelWindow(const LabelWindow&) = delete;
    LabelWindow& operator=(const LabelWindow&) = delete;

    bool valid() const { return hwnd_ && label_; }
    std::string Label() const
    {
        char text[300] = {};
        GetWindowTextA(label_, text, sizeof text);
        return text;
    }
    struct Arrival {
        std::string line, labelShowing, lastOffered;
    };
    const std::vector<Arrival>& arrivals() const { return arrivals_; }
    PacedStatus& pacing() { return pacing_; }
    HWND label() const { return label_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        auto* self = reinterpret_cast<LabelWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self)
            return DefWindowProcA(hwnd, msg, wp, lp);
        // As the dialog does.
        if (msg == kStatusMessage) {
            self->lastOffered_ = MessageText(lp);
            self->pacing_.Report(self->label_, MessageText(lp), StatusPace(wp));
            return 0;
        }
        if (msg == kStatusSettleMessage) {
            self->pacing_.Settle(self->label_);
            return 0;
        }
        if (msg == kResultLineMessage) {
            self->pacing_.Settle(self->label_);
            self->arrivals_.push_back({MessageText(lp), self->Label(), self->lastOffered_});
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    HWND hwnd_ = nullptr, label_ = nullptr, previous_ = nullptr;
    PacedStatus pacing_;
    std::string lastOffered_;
    std::vector<Arrival> arrivals_;
};

} // namespace

TEST_F(ScanRun, PacedLabelNamesTheFileOfEachResultLineAndTheLastEntryAtTheStatistics)
{
    // Enough entries that most statuses wait for a refresh.
    for (int i = 0; i < 120; ++i)
        ASSERT_TRUE(WriteText(Path("note" + std::to_string(i) + ".txt"), "clean"));
    const std::string sample = Path("x.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    Target(dir_);
    LabelWindow window;
    ASSERT_TRUE(window.valid());

    EXPECT_EQ(kScanFinished, RunScan(DialogFrontEnd()));

    const auto& arrivals = window.arrivals();
    ASSERT_EQ(1u + Statistics(121, 1, 1).size(), arrivals.size());
    EXPECT_EQ(RemovedLine(sample, RecordName(kRecord)), arrivals[0].line);
    char shown[61];
    ShortenPathForDisplay(sample.c_str(), shown, 60);
    EXPECT_EQ(shown, arrivals[0].labelShowing);
    // The statistics begin with the walk's last entry on the label.
    EXPECT_FALSE(arrivals[1].lastOffered.empty());
    EXPECT_EQ(arrivals[1].lastOffered, arrivals[1].labelShowing);
    EXPECT_EQ("Scanning completed", window.Label());
    EXPECT_FALSE(FileExists(sample));
}

// One step per character: 'o' offers the next text (it may wait for the next
// refresh), 's' shows the next text at once, 'p' lets a refresh interval
// pass, 'S' settles. After a settle the label shows the newest text.
struct PacedLabelCase {
    const char* name;
    const char* steps;
    const char* finalLabel;
};

class PacedLabel : public ::testing::TestWithParam<PacedLabelCase> {};

TEST_P(PacedLabel, ShowsTheNewestTextOnceSettled)
{
    LabelWindow window;
    ASSERT_TRUE(window.valid());
    int next = 0;
    for (const char* step = GetParam().steps; *step; ++step) {
        switch (*step) {
        case 'o':
        case 's':
            CopyText(StatusText, sizeof StatusText, std::to_string(++next).c_str());
            SendMessageA(ScanState.mainWindow, kStatusMessage, *step == 'o' ? kStatusOffered : kStatusNow,
                         reinterpret_cast<LPARAM>(StatusText));
            // The text shown at once, and the first of all, never waits.
            if (*step == 's' || next == 1) {
                EXPECT_EQ(std::to_string(next), window.Label()) << "step " << (step - GetParam().steps);
            }
            break;
        case 'p':
            Sleep(3 * kRefreshIntervalMs);
            break;
        case 'S':
            SendMessageA(ScanState.mainWindow, kStatusSettleMessage, 0, 0);
            EXPECT_EQ(std::to_string(next), window.Label()) << "step " << (step - GetParam().steps);
            break;
        }
    }
    EXPECT_EQ(GetParam().finalLabel, window.Label());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PacedLabel,
    ::testing::Values(PacedLabelCase{"FirstOfferShownAtOnce", "o", "1"},
                      PacedLabelCase{"OfferAfterAnIntervalShownAtOnce", "opo", "2"},
                      PacedLabelCase{"BurstEndsOnItsLastText", "oooooS", "5"},
                      PacedLabelCase{"SecondSettleChangesNothing", "ooSS", "2"},
                      // A kept text never overwrites a newer one shown at once.
                      PacedLabelCase{"ShownAtOnceWinsOverTheKeptText", "oosS", "3"},
                      PacedLabelCase{"OfferAfterAShownTextWaitsForTheSettle", "osoS", "3"}),
    [](const auto& info) { return std::string(info.param.name); });
