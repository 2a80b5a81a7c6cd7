// The skinned message box: buttons and icon chosen by the flags, the answer
// for each key and button, the layout grown for the text, the caption and the
// centring over the main dialog. A second thread looks at the box the way a
// user would and answers it; every variant is saved as a screenshot under
// the build folder's Wine prefix (C:\screenshots\ui).
#include "res/resource.h"
#include "tests/ui/pixels.h"
#include "ui/message_dlg.h"
#include "ui/show_message.h"
#include "ui/ui_globals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using namespace scx::uitest;

namespace {

const char kTerminate[] = "Terminate the Scan now?";
const char kRestart[] =
    "The system has to be restarted to remove the virus completely from your system. \n\n Restart now?";
const char kInMemory[] =
    "W32/Vexmor.Trojan found in memory! registry entries created by the worm are removed. You must "
    "restart the computer and run this program to continue scanning.\n\nRestart the computer now?";

struct FindBox {
    DWORD pid;
    std::string caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindBoxProc(HWND h, LPARAM lp)
{
    auto* f = reinterpret_cast<FindBox*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[32] = {}, text[256] = {};
    GetClassNameA(h, cls, sizeof cls);
    GetWindowTextA(h, text, sizeof text);
    if (pid == f->pid && IsWindowVisible(h) && !strcmp(cls, "#32770") && f->caption == text) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

// What the user sees: taken from another thread while the box is up.
struct Observed {
    bool found = false;
    std::string caption;
    std::string text;
    std::vector<int> visibleButtons;
    CRect window;
    std::map<int, CRect> client; // control id -> rectangle in the box's client area
    int icon = 0;                // bitmap id whose picture the icon frame shows
    bool centredOverMain = false;
};

enum class Act { Enter, Escape, CloseBox, Click, None };

int IconShown(HWND frame)
{
    Pixels shown = CaptureClient(frame, false);
    for (int id : {IDB_ICON_INFORMATION, IDB_ICON_QUESTION, IDB_ICON_WARNING, IDB_ICON_ERROR}) {
        Pixels pic = ReadBitmapResource(MAKEINTRESOURCEA(id));
        int w = std::min(shown.w, pic.w), h = std::min(shown.h, pic.h);
        if (w > 10 && h > 10 && SamePixels(Crop(shown, 0, 0, w, h), Crop(pic, 0, 0, w, h)))
            return id;
    }
    return 0;
}

// Shows the box on this thread while a second thread observes it, saves its
// picture and answers it.
int ShowAndAnswer(const char* text, const char* caption, unsigned flags, Act act, int clickId,
                  const std::string& shot, Observed* seen, const std::string& lookFor = "")
{
    std::atomic<bool> done{false};
    std::thread driver([&] {
        FindBox f{GetCurrentProcessId(), lookFor.empty() ? caption : lookFor};
        for (int i = 0; i < 500 && !f.found && !done; ++i) {
            EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&f));
            if (!f.found)
                Sleep(10);
        }
        if (!f.found)
            return;
        HWND box = f.found;
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        // The box belongs to the other thread: ask for a repaint and give it
        // time, then read what it shows.
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        Sleep(250);
        seen->found = true;
        char buf[512] = {};
        GetWindowTextA(box, buf, sizeof buf);
        seen->caption = buf;
        GetDlgItemTextA(box, IDC_MSG_TEXT, buf, sizeof buf);
        seen->text = buf;
        GetWindowRect(box, &seen->window);
        for (int id : {IDOK, IDCANCEL, IDC_MSG_OK_ONLY, IDYES, IDNO, IDC_MSG_ICON, IDC_MSG_TEXT}) {
            HWND c = GetDlgItem(box, id);
            if (!c)
                continue;
            CRect r;
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
            seen->client[id] = r;
            if (id != IDC_MSG_ICON && id != IDC_MSG_TEXT && IsWindowVisible(c))
                seen->visibleButtons.push_back(id);
        }
        std::sort(seen->visibleButtons.begin(), seen->visibleButtons.end());
        seen->icon = IconShown(GetDlgItem(box, IDC_MSG_ICON));
        if (!shot.empty())
            SaveBmp(CaptureWindow(box, false), ScreenshotPath(shot));
        switch (act) {
        case Act::Enter: PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0); break;
        case Act::Escape: PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0); break;
        case Act::CloseBox: PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case Act::Click: PostMessageA(GetDlgItem(box, clickId), BM_CLICK, 0, 0); break;
        case Act::None: PostMessageA(box, WM_COMMAND, IDCANCEL, 0); break;
        }
    });
    int result = ShowMessage(text, caption, flags);
    done = true;
    driver.join();
    return result;
}

// ------------------------------------------------------------ flags table

struct FlagsCase {
    const char* name;
    unsigned flags;
    Act act;
    int clickId;
    int expected;
    std::vector<int> buttons; // visible, sorted
    int icon;
};

void PrintTo(const FlagsCase& c, std::ostream* os) { *os << c.name; }

class FlagsAndAnswers : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(FlagsAndAnswers, ButtonsIconAndResult)
{
    const FlagsCase& c = GetParam();
    std::string caption = std::string("Flags ") + c.name;
    Observed seen;
    int r = ShowAndAnswer(kTerminate, caption.c_str(), c.flags, c.act, c.clickId,
                          std::string("flags_") + c.name, &seen);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(c.buttons, seen.visibleButtons);
    EXPECT_EQ(c.icon, seen.icon);
    EXPECT_EQ(kTerminate, seen.text);
    EXPECT_EQ(c.expected, r);
}

constexpr Act E = Act::Enter, X = Act::Escape, C = Act::CloseBox, K = Act::Click;
const std::vector<int> kYesNo{IDYES, IDNO}, kOkCancel{IDOK, IDCANCEL}, kOkOnly{IDC_MSG_OK_ONLY};

INSTANTIATE_TEST_SUITE_P(SkinnedBox, FlagsAndAnswers, ::testing::Values(
    FlagsCase{"YesNoQuestion_Enter", 0x24, E, 0, IDOK, kYesNo, IDB_ICON_QUESTION},
    FlagsCase{"YesNoQuestion_Escape", 0x24, X, 0, IDNO, kYesNo, IDB_ICON_QUESTION},
    FlagsCase{"YesNoQuestion_CloseBox", 0x24, C, 0, IDNO, kYesNo, IDB_ICON_QUESTION},
    FlagsCase{"YesNoQuestion_Yes", 0x24, K, IDYES, IDYES, kYesNo, IDB_ICON_QUESTION},
    FlagsCase{"YesNoQuestion_No", 0x24, K, IDNO, IDNO, kYesNo, IDB_ICON_QUESTION},
    FlagsCase{"OkCancelInformation_Enter", 0x41, E, 0, IDOK, kOkCancel, IDB_ICON_INFORMATION},
    FlagsCase{"OkCancelInformation_Escape", 0x41, X, 0, IDCANCEL, kOkCancel, IDB_ICON_INFORMATION},
    FlagsCase{"OkCancelInformation_CloseBox", 0x41, C, 0, IDCANCEL, kOkCancel, IDB_ICON_INFORMATION},
    FlagsCase{"OkCancelInformation_Ok", 0x41, K, IDOK, IDOK, kOkCancel, IDB_ICON_INFORMATION},
    FlagsCase{"OkCancelInformation_Cancel", 0x41, K, IDCANCEL, IDCANCEL, kOkCancel, IDB_ICON_INFORMATION},
    FlagsCase{"PlainOk_Enter", 0, E, 0, IDOK, kOkOnly, IDB_ICON_WARNING},
    FlagsCase{"PlainOk_Escape", 0, X, 0, IDCANCEL, kOkOnly, IDB_ICON_WARNING},
    FlagsCase{"PlainOk_CloseBox", 0, C, 0, IDCANCEL, kOkOnly, IDB_ICON_WARNING},
    FlagsCase{"PlainOk_Ok", 0, K, IDC_MSG_OK_ONLY, IDOK, kOkOnly, IDB_ICON_WARNING},
    // MB_YESNOCANCEL: bit 0x1 is tested first, so OK and Cancel.
    FlagsCase{"YesNoCancelGivesOkCancel_Escape", 0x3, X, 0, IDCANCEL, kOkCancel, IDB_ICON_WARNING},
    FlagsCase{"YesNoCancelGivesOkCancel_Ok", 0x3, K, IDOK, IDOK, kOkCancel, IDB_ICON_WARNING},
    FlagsCase{"YesNoCancelGivesOkCancel_Cancel", 0x3, K, IDCANCEL, IDCANCEL, kOkCancel, IDB_ICON_WARNING},
    FlagsCase{"ErrorIcon", 0x10, X, 0, IDCANCEL, kOkOnly, IDB_ICON_ERROR},
    FlagsCase{"WarningIcon", 0x30, X, 0, IDCANCEL, kOkOnly, IDB_ICON_WARNING},
    // 0x70 holds all of 0x30: warning before information.
    FlagsCase{"WarningBitsWinOverInformation", 0x70, X, 0, IDCANCEL, kOkOnly, IDB_ICON_WARNING}),
    [](const ::testing::TestParamInfo<FlagsCase>& i) { return std::string(i.param.name); });

// ----------------------------------------------------------------- layout

// The template's own layout: the box created without any initialisation of
// ours, at the screen origin, as OnInitDialog sees it.
struct TemplateLayout {
    CRect window;
    std::map<int, CRect> screen; // control id -> window rectangle while at the origin
    std::map<int, CRect> client;
};

INT_PTR CALLBACK InertProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TemplateLayout ReadTemplate()
{
    TemplateLayout t;
    HWND h = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MESSAGE_DIALOG), nullptr,
                                InertProc, 0);
    if (!h)
        return t;
    GetWindowRect(h, &t.window);
    for (int id : {IDOK, IDCANCEL, IDC_MSG_OK_ONLY, IDYES, IDNO, IDC_MSG_ICON, IDC_MSG_TEXT}) {
        CRect r;
        GetWindowRect(GetDlgItem(h, id), &r);
        t.screen[id] = r;
        MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&r), 2);
        t.client[id] = r;
    }
    DestroyWindow(h);
    return t;
}

struct LayoutCase {
    const char* name;
    std::string text;
    bool largeFonts;
    int w, h;          // extra width and height
    bool iconMoves;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class LayoutForText : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutForText, SizesAndPositions)
{
    const LayoutCase& c = GetParam();
    TemplateLayout t = ReadTemplate();
    ASSERT_EQ(0, t.window.left);
    ASSERT_EQ(0, t.window.top);

    g_largeFonts = c.largeFonts;
    Observed seen;
    std::string caption = std::string("Layout ") + c.name;
    int r = ShowAndAnswer(c.text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION, Act::Click, IDYES,
                          std::string("layout_") + c.name, &seen);
    g_largeFonts = false;
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(IDYES, r);
    EXPECT_EQ(c.text.size(), strlen(c.text.c_str())); // fixture: bytes as counted
    EXPECT_EQ(c.text, seen.text);

    // The box grows by W x H.
    EXPECT_EQ(t.window.Width() + c.w, seen.window.Width());
    EXPECT_EQ(t.window.Height() + c.h, seen.window.Height());

    // The text label: its screen rectangle at the origin, 25 up, grown by W x H
    // (and 25 more in height with large fonts), used as client coordinates.
    const CRect& T = t.screen[IDC_MSG_TEXT];
    const CRect& text = seen.client[IDC_MSG_TEXT];
    EXPECT_EQ(T.left, text.left);
    EXPECT_EQ(T.top - 25, text.top);
    EXPECT_EQ(T.Width() + c.w, text.Width());
    EXPECT_EQ(T.Height() + c.h + (c.largeFonts ? 25 : 0), text.Height());

    // The icon moves to (its x, T.top - 30) only for texts of 90 bytes or more.
    const CRect& icon = seen.client[IDC_MSG_ICON];
    if (c.iconMoves) {
        EXPECT_EQ(t.screen[IDC_MSG_ICON].left, icon.left);
        EXPECT_EQ(T.top - 30, icon.top);
    } else {
        EXPECT_EQ(t.client[IDC_MSG_ICON].left, icon.left);
        EXPECT_EQ(t.client[IDC_MSG_ICON].top, icon.top);
    }
    EXPECT_EQ(t.client[IDC_MSG_ICON].Width(), icon.Width());

    // Every button: shifted by W / 2, on the row 65 pixels above the bottom
    // edge of the grown box; the shown ones take their picture's size.
    int buttonTop = t.window.Height() + c.h - 65;
    for (int id : {IDOK, IDCANCEL, IDC_MSG_OK_ONLY, IDYES, IDNO}) {
        EXPECT_EQ(t.screen[id].left + c.w / 2, seen.client[id].left) << "button " << id;
        EXPECT_EQ(buttonTop, seen.client[id].top) << "button " << id;
    }
    EXPECT_EQ(92, seen.client[IDYES].Width());
    EXPECT_EQ(24, seen.client[IDYES].Height());
}

INSTANTIATE_TEST_SUITE_P(SkinnedBox, LayoutForText, ::testing::Values(
    LayoutCase{"TerminateQuestion23Bytes", kTerminate, false, 12, 7, false},
    LayoutCase{"RestartQuestion95Bytes", kRestart, false, 50, 28, true},
    LayoutCase{"FoundInMemory184Bytes", kInMemory, false, 87, 49, true},
    LayoutCase{"Text89BytesKeepsIcon", std::string(89, 'a'), false, 37, 21, false},
    LayoutCase{"Text90BytesMovesIcon", std::string(90, 'b'), false, 50, 28, true},
    LayoutCase{"EmptyText", "", false, 12, 7, false},
    LayoutCase{"LargeFontsTallerText", kRestart, true, 50, 28, true}),
    [](const ::testing::TestParamInfo<LayoutCase>& i) { return std::string(i.param.name); });

// ----------------------------------------------------- caption and centring

TEST(SkinnedBox, EmptyCaptionBecomesProgramTitle)
{
    Observed seen;
    int r = ShowAndAnswer(kTerminate, "", 0x24, Act::Escape, 0, "caption_empty", &seen, "Scourix Ver 1.0");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("Scourix Ver 1.0", seen.caption);
    EXPECT_EQ(IDNO, r);
}

TEST(SkinnedBox, GivenCaptionIsShown)
{
    Observed seen;
    ShowAndAnswer(kTerminate, "DialogBoxTitle", 0x24, Act::Escape, 0, "", &seen);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("DialogBoxTitle", seen.caption);
}

TEST(SkinnedBox, CentredOverTheMainDialog)
{
    // A stand-in main window, away from the screen's centre.
    HWND main = CreateWindowExA(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 40, 60, 600, 462, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, main);
    CDialog stand(IDD_MESSAGE_DIALOG);
    stand.m_hWnd = main;
    g_mainDlg = &stand;
    Observed seen;
    ShowAndAnswer(kRestart, "Centred", 0x24, Act::Escape, 0, "centred_over_main", &seen);
    g_mainDlg = nullptr;
    stand.m_hWnd = nullptr;
    DestroyWindow(main);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(40 + 300 - seen.window.Width() / 2, seen.window.left);
    EXPECT_EQ(60 + 231 - seen.window.Height() / 2, seen.window.top);
}

TEST(SkinnedBox, WithoutMainDialogCentredOnTheScreen)
{
    Observed seen;
    ShowAndAnswer(kTerminate, "Screen centre", 0, Act::Escape, 0, "", &seen);
    ASSERT_TRUE(seen.found);
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ((work.left + work.right) / 2 - seen.window.Width() / 2, seen.window.left);
    EXPECT_EQ((work.top + work.bottom) / 2 - seen.window.Height() / 2, seen.window.top);
}


// ----------------------------------------------------------------- template

struct TemplateRow {
    int id;
    const char* cls;
    const char* text;
    RECT dlu;
    DWORD style;     // bits that must be set beyond WS_CHILD
    bool visible;
};

TEST(SkinnedBox, TemplateMatchesItsTable)
{
    HWND h = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MESSAGE_DIALOG), nullptr,
                                InertProc, 0);
    ASSERT_NE(nullptr, h);
    DWORD style = DWORD(GetWindowLongA(h, GWL_STYLE));
    for (DWORD bit : {DWORD(WS_POPUP), DWORD(WS_CAPTION), DWORD(WS_SYSMENU), DWORD(DS_MODALFRAME)})
        EXPECT_EQ(bit, style & bit) << std::hex << bit;
    char text[128] = {};
    GetWindowTextA(h, text, sizeof text);
    EXPECT_STREQ("Dialog", text);
    RECT size{0, 0, 187, 54};
    MapDialogRect(h, &size);
    RECT client;
    GetClientRect(h, &client);
    EXPECT_EQ(size.right, client.right);
    EXPECT_EQ(size.bottom, client.bottom);

    const TemplateRow rows[] = {
        {IDOK, "Button", "OK", {24, 38, 50, 14}, BS_OWNERDRAW | WS_TABSTOP, false},
        {IDCANCEL, "Button", "Cancel", {102, 38, 50, 14}, BS_OWNERDRAW | WS_TABSTOP, false},
        {IDC_MSG_ICON, "Static", "", {15, 0, 25, 24}, SS_BITMAP, true},
        {IDC_MSG_TEXT, "Static", " Are you sure you want to continue ", {49, 5, 135, 19}, WS_GROUP, true},
        {IDC_MSG_OK_ONLY, "Button", "OK", {63, 38, 50, 14}, BS_OWNERDRAW | WS_TABSTOP, true},
        {IDYES, "Button", "YES", {24, 26, 50, 14}, BS_OWNERDRAW | WS_TABSTOP, false},
        {IDNO, "Button", "NO", {100, 26, 50, 14}, BS_OWNERDRAW | WS_TABSTOP, false},
    };
    HWND prev = nullptr;
    for (const TemplateRow& row : rows) {
        HWND c = GetDlgItem(h, row.id);
        ASSERT_NE(nullptr, c) << row.id;
        // Tab order follows the table.
        if (prev) {
            EXPECT_EQ(c, GetWindow(prev, GW_HWNDNEXT)) << row.id;
        }
        prev = c;
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        EXPECT_STRCASEEQ(row.cls, cls) << row.id;
        if (strcmp(row.cls, "Button") == 0 || row.id == IDC_MSG_TEXT) {
            GetWindowTextA(c, text, sizeof text);
            EXPECT_STREQ(row.text, text) << row.id;
        }
        DWORD cs = DWORD(GetWindowLongA(c, GWL_STYLE));
        if (row.style & 0xFFFF) { // the control type lives in the low bits
            DWORD typeMask = strcmp(row.cls, "Button") == 0 ? 0xF : SS_TYPEMASK;
            EXPECT_EQ(row.style & typeMask, cs & typeMask) << row.id;
        } else {
            EXPECT_EQ(DWORD(SS_LEFT), cs & SS_TYPEMASK) << row.id;
        }
        EXPECT_EQ(row.style & 0xFFFF0000, cs & row.style & 0xFFFF0000) << row.id;
        EXPECT_EQ(row.visible, (cs & WS_VISIBLE) != 0) << row.id;
        // Position and size are converted separately, as the dialog manager does.
        RECT want = row.dlu;
        MapDialogRect(h, &want);
        want.right += want.left;
        want.bottom += want.top;
        RECT got;
        GetWindowRect(c, &got);
        MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&got), 2);
        if (row.id != IDC_MSG_ICON) { // a bitmap static may size itself
            EXPECT_TRUE(EqualRect(&want, &got)) << row.id << ": want " << want.left << "," << want.top << "," << want.right << "," << want.bottom << " got " << got.left << "," << got.top << "," << got.right << "," << got.bottom;
        } else {
            EXPECT_EQ(want.left, got.left);
            EXPECT_EQ(want.top, got.top);
        }
    }
    DestroyWindow(h);
}

// With an application main window, the box is modal over it: the main
// window is disabled while the box is up and enabled again afterwards.
TEST(SkinnedBox, MainWindowDisabledWhileTheBoxIsUp)
{
    HWND main = CreateWindowExA(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 40, 60, 600, 462, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, main);
    CDialog stand(IDD_MESSAGE_DIALOG);
    stand.m_hWnd = main;
    CWinApp app;
    app.m_pMainWnd = &stand;
    std::atomic<int> enabledWhileUp{-1};
    std::thread probe([&] {
        FindBox f{GetCurrentProcessId(), "Modal"};
        for (int i = 0; i < 500 && !f.found; ++i) {
            EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&f));
            Sleep(10);
        }
        if (!f.found)
            return;
        enabledWhileUp = IsWindowEnabled(main) ? 1 : 0;
        PostMessageA(f.found, WM_COMMAND, IDNO, 0);
    });
    int r = ShowMessage(kTerminate, "Modal", 0x24);
    probe.join();
    app.m_pMainWnd = nullptr;
    stand.m_hWnd = nullptr;
    EXPECT_EQ(IDNO, r);
    EXPECT_EQ(0, enabledWhileUp.load());
    EXPECT_TRUE(IsWindowEnabled(main));
    DestroyWindow(main);
}

} // namespace
