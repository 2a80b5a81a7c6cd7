// The dialog as the scan's front end, paced: a stand-in for the dialog's
// window counts what its handler receives and shows each status at once, as
// the dialog does. What the label shows when a result line, the statistics or
// a question arrive, how many statuses reach the window, and that neither a
// result line nor a stop waits for a refresh.
#include "detect/text.h"
#include "tests/scan/engine_fixture.h"
#include "tests/support/dialog_answerer.h"
#include "ui/dialog_front_end.h"
#include "ui/scan_messages.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

std::string Shown(const std::string& path)
{
    char shown[61];
    ShortenPathForDisplay(path.c_str(), shown, 60);
    return shown;
}

// Stands in for the dialog: a label set by every status message, and a record
// of each message with what the label showed and how far the walk had got.
class LabelWindow {
public:
    struct Arrival {
        bool isResult;
        std::string text, labelShowing;
        int filesScanned;
    };

    LabelWindow()
    {
        // Whatever an earlier case left waiting goes to its own window, and
        // the front end's clock starts a fresh interval.
        DialogFrontEnd().statusSettled();
        Sleep(2 * kRefreshIntervalMs);
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
        DialogFrontEnd().statusSettled();
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
    const std::vector<Arrival>& arrivals() const { return arrivals_; }
    std::vector<Arrival> Lines() const { return Only(true); }
    std::vector<Arrival> Statuses() const { return Only(false); }
    void OnLine(std::function<void()> hook) { onLine_ = std::move(hook); }

private:
    std::vector<Arrival> Only(bool results) const
    {
        std::vector<Arrival> out;
        for (const Arrival& a : arrivals_)
            if (a.isResult == results)
                out.push_back(a);
        return out;
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        auto* self = reinterpret_cast<LabelWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && msg == kStatusMessage) {
            SetWindowTextA(self->label_, MessageText(lp));
            self->arrivals_.push_back({false, MessageText(lp), self->Label(), ScanState.filesScanned});
            return 0;
        }
        if (self && msg == kResultLineMessage) {
            self->arrivals_.push_back({true, MessageText(lp), self->Label(), ScanState.filesScanned});
            if (self->onLine_)
                self->onLine_();
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    HWND hwnd_ = nullptr, label_ = nullptr, previous_ = nullptr;
    std::vector<Arrival> arrivals_;
    std::function<void()> onLine_;
};

// The entries of a folder in the order a walk meets them.
std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((dir + "\\*.*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(data.cFileName);
    while (FindNextFileA(h, &data));
    FindClose(h);
    return names;
}

} // namespace

class DialogScan : public EngineTest {};

TEST_F(DialogScan, LabelNamesTheFileOfEachResultLineAndTheLastEntryAtTheStatistics)
{
    // Enough entries that most statuses wait for a refresh.
    for (int i = 0; i < 120; ++i)
        ASSERT_TRUE(WriteText(Path("note" + std::to_string(i) + ".txt"), "clean"));
    const std::string sample = Path("x.exe");
    ASSERT_TRUE(WriteSample(sample, 1));
    const std::vector<std::string> listed = Listing(dir_);
    ASSERT_FALSE(listed.empty());
    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, dir_.c_str());
    LabelWindow window;
    ASSERT_TRUE(window.valid());

    EXPECT_EQ(kScanFinished, RunScan(DialogFrontEnd()));

    const std::vector<LabelWindow::Arrival> lines = window.Lines();
    // The removal, then the statistics: a spacer, a heading, a rule and three totals.
    ASSERT_EQ(1u + 6u, lines.size());
    EXPECT_EQ(RemovedLine(sample, RecordName(1)), lines[0].text);
    EXPECT_EQ(Shown(sample), lines[0].labelShowing);
    // The statistics begin with the walk's last entry on the label.
    EXPECT_EQ(Shown(Path(listed.back())), lines[1].labelShowing);
    EXPECT_EQ("Scanning completed", window.Label());
    EXPECT_FALSE(FileExists(sample));
}

// A walk of one flat folder through the dialog's front end, with a sample
// somewhere before its last file.
class DialogWalk : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // In the middle whether the listing follows names, creation or neither.
        for (int i = 0; i < 30; ++i)
            ASSERT_TRUE(WriteText(Path("note" + std::to_string(i) + ".txt"), "clean"));
        sample_ = Path("m.exe");
        ASSERT_TRUE(WriteSample(sample_, 1));
        for (int i = 30; i < 400 && (i < 60 || SampleIsLast()); ++i)
            ASSERT_TRUE(WriteText(Path("z" + std::to_string(i) + ".txt"), "clean"));
        ASSERT_FALSE(SampleIsLast());
        // Files only, as the walk counts them.
        for (const std::string& name : Listing(dir_)) {
            if (name == "." || name == "..")
                continue;
            ++files_;
            if (name == "m.exe")
                samplePosition_ = files_;
        }
        ASSERT_GT(samplePosition_, 0);
    }
    bool SampleIsLast() const { return Listing(dir_).back() == "m.exe"; }

    std::string sample_;
    int files_ = 0;
    int samplePosition_ = 0; // 1-based, among the files
};

TEST_F(DialogWalk, ResultLineIsInTheListBeforeTheWalkGoesOn)
{
    LabelWindow window;
    ASSERT_TRUE(window.valid());
    FrontEndScope dialog(DialogFrontEnd());
    EXPECT_EQ(files_, WalkDirectory(Pattern().c_str()));

    const std::vector<LabelWindow::Arrival> lines = window.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(RemovedLine(sample_, RecordName(1)), lines[0].text);
    // No later file had been handled when the line arrived.
    EXPECT_EQ(samplePosition_, lines[0].filesScanned);
    EXPECT_EQ(Shown(sample_), lines[0].labelShowing);
}

TEST_F(DialogWalk, StopAskedBetweenRefreshesEndsTheWalkAtTheNextEntry)
{
    LabelWindow window;
    ASSERT_TRUE(window.valid());
    // Asked from inside the handler, so no refresh comes between the stop
    // and the walk's next test of it.
    window.OnLine([] { ScanState.stopRequested = 1; });
    FrontEndScope dialog(DialogFrontEnd());
    EXPECT_EQ(0, WalkDirectory(Pattern().c_str()));
    EXPECT_EQ(samplePosition_, ScanState.filesScanned);
    ASSERT_FALSE(window.arrivals().empty());
    // The label was settled on the entry the walk stopped at.
    EXPECT_EQ(Shown(sample_), window.Label());
}

// Many statuses offered between refreshes: the window hears of at most one
// per interval, and the newest is on the label once the walk settles it.
TEST(DialogPacing, AtMostOneStatusPerRefreshAndTheNewestOnceSettled)
{
    LabelWindow window;
    ASSERT_TRUE(window.valid());
    FrontEndScope dialog(DialogFrontEnd());
    const DWORD start = GetTickCount();
    int offered = 0;
    std::string newest;
    while (GetTickCount() - start < 10 * kRefreshIntervalMs || offered < 2000) {
        newest = "C:\\entry" + std::to_string(++offered);
        CopyText(StatusText, sizeof StatusText, newest.c_str());
        FrontEndStatus(StatusText, kStatusOffered);
        CopyText(StatusText, sizeof StatusText, "overwritten"); // the sender reuses its buffer
        FrontEndPoll(false);
    }
    const DWORD elapsed = GetTickCount() - start;
    const size_t received = window.Statuses().size();
    // Sends at least an interval apart, all within the elapsed time.
    EXPECT_LE(received, size_t(elapsed / kRefreshIntervalMs + 1)) << offered << " offered in " << elapsed << " ms";
    EXPECT_GE(received, 1u);

    FrontEndStatusSettled();
    EXPECT_EQ(newest, window.Label());
    EXPECT_LE(window.Statuses().size(), received + 1);
    FrontEndStatusSettled();
    EXPECT_LE(window.Statuses().size(), received + 1) << "a second settle sent again";
}

// One step per character: 'o' offers the next text (it may wait for the next
// refresh), 's' shows the next text at once, 'p' lets a refresh interval
// pass, 'P' polls, 'S' settles, 'L' sends a result line. After a settle, and
// when a line arrives, the label shows the newest text.
struct PacedLabelCase {
    const char* name;
    const char* steps;
    const char* finalLabel;
};

class PacedLabel : public ::testing::TestWithParam<PacedLabelCase> {};

TEST_P(PacedLabel, ShowsTheNewestTextWhenItMust)
{
    LabelWindow window;
    ASSERT_TRUE(window.valid());
    FrontEndScope dialog(DialogFrontEnd());
    int next = 0;
    for (const char* step = GetParam().steps; *step; ++step) {
        const std::string at = "step " + std::to_string(step - GetParam().steps);
        switch (*step) {
        case 'o':
        case 's':
            CopyText(StatusText, sizeof StatusText, std::to_string(++next).c_str());
            FrontEndStatus(StatusText, *step == 'o' ? kStatusOffered : kStatusNow);
            // The text shown at once, and the first of all, never waits.
            if (*step == 's' || next == 1) {
                EXPECT_EQ(std::to_string(next), window.Label()) << at;
            }
            break;
        case 'p':
            Sleep(3 * kRefreshIntervalMs);
            break;
        case 'P':
            FrontEndPoll(false);
            break;
        case 'S':
            FrontEndStatusSettled();
            EXPECT_EQ(std::to_string(next), window.Label()) << at;
            break;
        case 'L':
            FrontEndResultLine("line");
            ASSERT_FALSE(window.Lines().empty());
            EXPECT_EQ(std::to_string(next), window.Lines().back().labelShowing) << at;
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
                      PacedLabelCase{"OfferAfterAShownTextWaitsForTheSettle", "osoS", "3"},
                      // A long check between offers: the poll after an interval shows it.
                      PacedLabelCase{"PollAfterAnIntervalShowsTheKeptText", "ooopP", "3"},
                      PacedLabelCase{"ResultLineFollowsTheNewestText", "ooooL", "4"}),
    [](const auto& info) { return std::string(info.param.name); });

// A question or a notice stops the scan until it is answered: by then the
// label names the entry the scan stopped at, not one from before the last
// refresh.
struct BoxCase {
    const char* name;
    bool question;
};

class DialogBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(DialogBox, SettlesTheWaitingStatusBeforeTheBoxOpens)
{
    LabelWindow window;
    ASSERT_TRUE(window.valid());
    FrontEndScope dialog(DialogFrontEnd());
    // Two offers within one refresh, so that the second waits; tried again
    // should a slow machine let a refresh interval pass between them.
    std::string waiting;
    for (int attempt = 0; attempt < 20 && waiting.empty(); ++attempt) {
        Sleep(3 * kRefreshIntervalMs);
        const std::string shown = "shown " + std::to_string(attempt);
        const std::string offered = "waiting " + std::to_string(attempt);
        FrontEndStatus(shown.c_str(), kStatusOffered);
        FrontEndStatus(offered.c_str(), kStatusOffered);
        if (window.Label() == shown)
            waiting = offered;
    }
    ASSERT_FALSE(waiting.empty()) << "no offer ever waited for a refresh";

    if (GetParam().question) {
        DialogAnswerer answer("Stop?", IDNO);
        EXPECT_EQ(IDNO, FrontEndAsk(kQuestionStopScan, "Terminate the Scan now?", "Stop?", MB_YESNO | MB_ICONQUESTION));
        EXPECT_EQ(1, answer.count());
    } else {
        DialogAnswerer answer("C:\\x.exe", IDOK);
        FrontEndNotice("Could not kill process", "C:\\x.exe");
        EXPECT_EQ(1, answer.count());
    }
    EXPECT_EQ(waiting, window.Label());
}

INSTANTIATE_TEST_SUITE_P(Boxes, DialogBox,
                         ::testing::Values(BoxCase{"Question", true}, BoxCase{"Notice", false}),
                         [](const auto& info) { return std::string(info.param.name); });
