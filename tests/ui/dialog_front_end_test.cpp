// The dialog's front end: the scan's reports reach the main window in the
// order sent, cut at their buffers; its notices are plain boxes with one OK.
#include "scan/scan_state.h"
#include "tests/support/dialog_answerer.h"
#include "tests/ui/capture_window.h"
#include "ui/dialog_front_end.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace scx::test;

class DialogReports : public ::testing::Test {
protected:
    FrontEndScope dialog_{DialogFrontEnd()};
};

TEST_F(DialogReports, RecordsLinesAndStatusesInOrder)
{
    CaptureWindow capture;
    ASSERT_EQ(capture.hwnd(), ScanState.mainWindow);
    ReportStatus("C:\\first");
    ReportResultLine("%s     %s removed", "C:\\a.exe", "W32/Vexmor.Bc.Trojan");
    ReportStatus("Scanning completed");

    ASSERT_EQ(3u, capture.events().size());
    EXPECT_FALSE(capture.events()[0].isResult);
    EXPECT_EQ("C:\\first", capture.events()[0].text);
    EXPECT_TRUE(capture.events()[1].isResult);
    EXPECT_EQ("C:\\a.exe     W32/Vexmor.Bc.Trojan removed", capture.events()[1].text);
    EXPECT_EQ(std::vector<std::string>({"C:\\first", "Scanning completed"}), capture.statuses());
}

TEST_F(DialogReports, LongReportsArriveWholeAndOverlongOnesAreCutAtTheBuffer)
{
    CaptureWindow capture;
    // A path far over MAX_PATH reaches the window whole.
    std::string longText(2000, 'x');
    ReportResultLine("%s", longText.c_str());
    ReportStatus(longText.c_str());
    std::string overlong(kResultLineSize + 10, 'y');
    ReportResultLine("%s", overlong.c_str());
    ASSERT_EQ(2u, capture.lines().size());
    EXPECT_EQ(longText, capture.lines()[0]);
    EXPECT_EQ(longText, capture.statuses()[0]);
    EXPECT_EQ(std::string(kResultLineSize - 1, 'y'), capture.lines()[1]);
}

TEST_F(DialogReports, PutsBackThePreviousMainWindow)
{
    HWND before = ScanState.mainWindow;
    {
        CaptureWindow capture;
        EXPECT_NE(before, ScanState.mainWindow);
    }
    EXPECT_EQ(before, ScanState.mainWindow);
}

TEST_F(DialogReports, NoticeIsASystemBoxWithOnlyOk)
{
    DialogAnswerer answer("C:\\x.exe", IDOK);
    FrontEndNotice("Could not kill process", "C:\\x.exe");
    std::vector<DialogAnswerer::Seen> seen = answer.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Could not kill process", seen[0].text);
    EXPECT_EQ(std::vector<int>{IDOK}, seen[0].visibleButtons);
}
