// The dialog as the scan's front end, with a stand-in for its window whose
// status label is paced like the dialog's: what the label shows when a result
// line, the statistics or a question arrive.
#include "detect/text.h"
#include "tests/scan/engine_fixture.h"
#include "tests/support/dialog_answerer.h"
#include "ui/dialog_front_end.h"
#include "ui/paced_status.h"
#include "ui/scan_messages.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using namespace scx::test;

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

class DialogScan : public EngineTest {};

TEST_F(DialogScan, PacedLabelNamesTheFileOfEachResultLineAndTheLastEntryAtTheStatistics)
{
    // Enough entries that most statuses wait for a refresh.
    for (int i = 0; i < 120; ++i)
        ASSERT_TRUE(WriteText(Path("note" + std::to_string(i) + ".txt"), "clean"));
    const std::string sample = Path("x.exe");
    ASSERT_TRUE(WriteSample(sample, 1));
    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, dir_.c_str());
    LabelWindow window;
    ASSERT_TRUE(window.valid());

    EXPECT_EQ(kScanFinished, RunScan(DialogFrontEnd()));

    const auto& arrivals = window.arrivals();
    // The removal, then the statistics: a spacer, a heading, a rule and three totals.
    ASSERT_EQ(1u + 6u, arrivals.size());
    EXPECT_EQ(RemovedLine(sample, RecordName(1)), arrivals[0].line);
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

// A question stops the scan until it is answered: by then the label names
// the entry the scan stopped at, not one from before the last refresh.
TEST(DialogQuestion, SettlesTheWaitingStatusBeforeTheBoxOpens)
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

    DialogAnswerer answer("Stop?", IDNO);
    EXPECT_EQ(IDNO, FrontEndAsk(kQuestionStopScan, "Terminate the Scan now?", "Stop?", MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(1, answer.count());
    EXPECT_EQ(waiting, window.Label());
}
