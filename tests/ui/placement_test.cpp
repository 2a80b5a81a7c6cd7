// Where the main dialog and its controls end up when the work area does not
// start at the screen's corner (a taskbar at the top or at the left), and
// where the questions go on a second monitor.
#include "ui/cleaner_dlg.h"
#include "ui/work_area.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Show(const RECT& r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

// What the window shows once its initialisation is over.
struct Layout {
    bool seen = false;
    RECT window{};
    std::map<int, RECT> controls; // control id -> rectangle in the dialog's client area
};

HWND g_dialog = nullptr;
Layout* g_layout = nullptr;

BOOL CALLBACK FindDialog(HWND h, LPARAM)
{
    char cls[16] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(h)) {
        g_dialog = h;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK RecordControl(HWND child, LPARAM)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, g_dialog, reinterpret_cast<POINT*>(&r), 2);
    g_layout->controls[GetDlgCtrlID(child)] = r;
    return TRUE;
}

void CALLBACK LookAndClose(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, 0);
    if (g_dialog) {
        g_layout->seen = true;
        GetWindowRect(g_dialog, &g_layout->window);
        EnumChildWindows(g_dialog, RecordControl, 0);
        EndDialog(g_dialog, IDCANCEL);
    }
}

// The work area set for the run and put back afterwards.
class WorkAreaGuard {
public:
    explicit WorkAreaGuard(const RECT& area)
    {
        ok_ = SystemParametersInfoA(SPI_GETWORKAREA, 0, &saved_, 0) &&
              SystemParametersInfoA(SPI_SETWORKAREA, 0, const_cast<RECT*>(&area), 0);
    }
    ~WorkAreaGuard() { SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved_, 0); }
    bool ok() const { return ok_; }

private:
    RECT saved_{};
    bool ok_ = false;
};

// Runs the real main dialog with the work area given. The dialog manager
// first places it at the work area's corner, as Windows does with a bar
// there: its template's (0,0) is taken in its owner's client area, and the
// owner, the thread's active window, sits at that corner.
Layout RunDialog(const RECT& area)
{
    Layout layout;
    WorkAreaGuard guard(area);
    if (!guard.ok())
        return layout;
    HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE, area.left, area.top, 8, 8,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!owner)
        return layout;
    SetActiveWindow(owner);
    g_layout = &layout;
    UINT_PTR timer = SetTimer(nullptr, 0, 500, LookAndClose);
    {
        CCleanerDlg dialog;
        dialog.DoModal();
    }
    KillTimer(nullptr, timer);
    DestroyWindow(owner);
    g_layout = nullptr;
    return layout;
}

struct AreaCase {
    const char* name;
    int left, top; // where the work area starts
};

class MainDialogPlacement : public ::testing::TestWithParam<AreaCase> {};

TEST_P(MainDialogPlacement, ControlsAsAtTheOriginAndWindowCentred)
{
    const AreaCase& c = GetParam();
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    const RECT atOrigin{0, 0, cx, cy};
    const RECT area{c.left, c.top, cx, cy};

    const Layout reference = RunDialog(atOrigin);
    const Layout shifted = RunDialog(area);
    ASSERT_TRUE(reference.seen);
    ASSERT_TRUE(shifted.seen);

    ASSERT_GT(reference.controls.size(), 10u);
    EXPECT_EQ(reference.controls.size(), shifted.controls.size());
    for (const auto& [id, rect] : reference.controls) {
        auto found = shifted.controls.find(id);
        ASSERT_NE(found, shifted.controls.end()) << id;
        EXPECT_TRUE(found->second == rect) << "control " << id << ": " << Show(found->second) << ", at the origin "
                                           << Show(rect);
    }

    const int w = shifted.window.right - shifted.window.left, h = shifted.window.bottom - shifted.window.top;
    EXPECT_EQ(reference.window.right - reference.window.left, w);
    EXPECT_EQ(reference.window.bottom - reference.window.top, h);
    EXPECT_EQ((area.left + area.right) / 2 - w / 2, shifted.window.left) << Show(shifted.window);
    EXPECT_EQ((area.top + area.bottom) / 2 - h / 2, shifted.window.top) << Show(shifted.window);
    EXPECT_GE(shifted.window.top, area.top) << "the title row lies under the bar";
}

INSTANTIATE_TEST_SUITE_P(WorkAreas, MainDialogPlacement,
                         ::testing::Values(AreaCase{"BarAtTheTop", 0, 40}, AreaCase{"BarAtTheLeft", 60, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Centring a box over a window, kept on a work area ----

struct PositionCase {
    const char* name;
    RECT over;
    int width, height;
    RECT area;
    POINT expected;
};

class CentredOver : public ::testing::TestWithParam<PositionCase> {};

TEST_P(CentredOver, StaysOnTheWorkAreaGiven)
{
    const PositionCase& c = GetParam();
    const POINT p = CentredPosition(c.over, c.width, c.height, c.area);
    EXPECT_EQ(c.expected.x, p.x);
    EXPECT_EQ(c.expected.y, p.y);
}

const RECT kPrimary{0, 0, 1024, 738};
const RECT kRightMonitor{1024, 0, 2304, 984};  // a second monitor to the right
const RECT kLeftMonitor{-1280, -200, 0, 824}; // to the left and higher up
const RECT kTopBar{0, 40, 1024, 768};

const PositionCase kPositionCases[] = {
    {"CentredOverTheMain", {212, 153, 812, 615}, 300, 150, kPrimary, {362, 309}},
    {"MainOnTheRightMonitor", {1500, 300, 2100, 762}, 300, 150, kRightMonitor, {1650, 456}},
    {"MainOnTheLeftMonitor", {-1000, -100, -400, 362}, 300, 150, kLeftMonitor, {-850, 56}},
    {"ClampedToTheRightMonitorsLeftEdge", {900, 100, 1100, 300}, 400, 100, kRightMonitor, {1024, 150}},
    {"ClampedToTheRightMonitorsBottom", {1500, 900, 1700, 1000}, 100, 200, kRightMonitor, {1550, 784}},
    {"ClampedToTheLeftMonitorsTop", {-700, -300, -500, -200}, 100, 100, kLeftMonitor, {-650, -200}},
    {"ClampedToTheLeftMonitorsRightEdge", {-100, 300, 100, 400}, 300, 100, kLeftMonitor, {-300, 300}},
    {"BelowATopBar", {0, 0, 600, 20}, 300, 100, kTopBar, {150, 40}},
    {"LargerThanTheAreaKeepsItsCorner", {0, 0, 100, 100}, 3000, 2000, kRightMonitor, {1024, 0}},
};

INSTANTIATE_TEST_SUITE_P(Positions, CentredOver, ::testing::ValuesIn(kPositionCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
