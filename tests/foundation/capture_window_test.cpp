// The capture window records the engine's reports in the order sent.
#include "scan/scan_state.h"
#include "tests/support/capture_window.h"

#include <gtest/gtest.h>

#include <string>

using namespace scx::test;

TEST(CaptureWindow, RecordsLinesAndStatusesInOrder)
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

TEST(CaptureWindow, OverlongReportsAreCutAtTheBuffer)
{
    CaptureWindow capture;
    std::string longText(2000, 'x');
    ReportResultLine("%s", longText.c_str());
    ReportStatus(longText.c_str());
    ASSERT_EQ(1u, capture.lines().size());
    EXPECT_EQ(std::string(511, 'x'), capture.lines()[0]);
    EXPECT_EQ(std::string(259, 'x'), capture.statuses()[0]);
}

TEST(CaptureWindow, PutsBackThePreviousMainWindow)
{
    HWND before = ScanState.mainWindow;
    {
        CaptureWindow capture;
        EXPECT_NE(before, ScanState.mainWindow);
    }
    EXPECT_EQ(before, ScanState.mainWindow);
}
