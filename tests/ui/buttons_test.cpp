// Bitmap buttons: pictures found by the window text, the button sized to its
// picture, and the picture on screen following hover, focus and the disabled
// state (read back from the button's own pixels).
#include "framework/framework.h"
#include "tests/ui/pixels.h"
#include "ui/ex_button.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

using namespace scx::uitest;

namespace {

enum : int { kScan = 1052, kDownload = 1053, kCancel = 1001, kEmpty = 1002, kDlink = 1077, kNoSuch = 1003, kX = 1054 };

class ButtonDlg : public CDialog {
public:
    ButtonDlg() : CDialog(910) {}
    std::function<void(ButtonDlg&)> body;
    CExButton m_btnScan, m_btnDownload, m_btnDlink, m_btnX;
    NCExButton m_btnCancel, m_btnEmpty, m_btnNoSuch;
    CRect templateRect[4]; // DLINK, NOSUCH, empty, X before skinning (client coordinates)
    BOOL skinResult[7] = {};

    CRect ChildRect(HWND h)
    {
        CRect r;
        ::GetWindowRect(h, &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, kScan, m_btnScan);
        DDX_Control(pDX, kDownload, m_btnDownload);
        DDX_Control(pDX, kDlink, m_btnDlink);
        DDX_Control(pDX, kCancel, m_btnCancel);
        DDX_Control(pDX, kEmpty, m_btnEmpty);
        DDX_Control(pDX, kNoSuch, m_btnNoSuch);
        // X stays unbound: AttachSkin binds it by its id.
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        templateRect[0] = ChildRect(m_btnDlink.m_hWnd);
        templateRect[1] = ChildRect(m_btnNoSuch.m_hWnd);
        templateRect[2] = ChildRect(m_btnEmpty.m_hWnd);
        templateRect[3] = ChildRect(GetDlgItem(kX));
        skinResult[0] = m_btnScan.AttachSkin(kScan, this);
        skinResult[1] = m_btnDownload.AttachSkin(kDownload, this);
        skinResult[2] = m_btnDlink.AttachSkin(kDlink, this);
        skinResult[3] = m_btnX.AttachSkin(kX, this);
        skinResult[4] = m_btnCancel.AttachSkin(kCancel, this);
        skinResult[5] = m_btnEmpty.AttachSkin(kEmpty, this);
        skinResult[6] = m_btnNoSuch.AttachSkin(kNoSuch, this);
        PostMessage(WM_APP);
        return TRUE; // focus to the first tab stop, SCAN
    }
    LRESULT OnRun(WPARAM, LPARAM)
    {
        // Above every other window, so nothing clips what is read back.
        SetWindowPos(HWND_TOPMOST, 300, 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        if (body)
            body(*this);
        EndDialog(IDOK);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ButtonDlg, CDialog)
    ON_MESSAGE(WM_APP, OnRun)
END_MESSAGE_MAP()

void RunWith(const std::function<void(ButtonDlg&)>& body)
{
    ButtonDlg dlg;
    dlg.body = body;
    ASSERT_EQ(IDOK, dlg.DoModal());
}

// Which of the button's pictures its pixels show.
std::string Shown(CWnd& button, const char* base)
{
    Pixels shown = CaptureClient(button.m_hWnd);
    for (const char* state : {"FOCUS", "NOTFOCUS", "DISABLE"}) {
        Pixels pic = ReadBitmapResource((std::string(base) + "_" + state).c_str());
        if (SamePixels(shown, pic))
            return state;
    }
    return "other";
}

// ------------------------------------------------------------ skinning

TEST(Buttons, SkinsAreFoundByWindowText)
{
    RunWith([](ButtonDlg& d) {
        EXPECT_TRUE(d.skinResult[0]);
        BITMAP bm{};
        // SCAN: three pictures, the button takes the not-focus picture's size.
        ASSERT_TRUE(d.m_btnScan.m_bmpDisable.GetBitmap(&bm));
        CRect r;
        d.m_btnScan.GetWindowRect(&r);
        EXPECT_EQ(180, r.Width());
        EXPECT_EQ(33, r.Height());
        EXPECT_EQ(CRect(0, 0, 180, 33).right, d.m_btnScan.m_rcButton.right);
        EXPECT_EQ(33, d.m_btnScan.m_rcButton.bottom);

        // DLINK: 85 x 7 dialog units in the template, 313 x 43 afterwards, in place.
        CRect dl = d.ChildRect(d.m_btnDlink.m_hWnd);
        EXPECT_EQ(313, dl.Width());
        EXPECT_EQ(43, dl.Height());
        EXPECT_NE(313, d.templateRect[0].Width());
        EXPECT_EQ(d.templateRect[0].left, dl.left);
        EXPECT_EQ(d.templateRect[0].top, dl.top);

        // "Cancel" loads CANCEL_FOCUS and CANCEL_NOTFOCUS; it has no disabled picture.
        EXPECT_TRUE(d.skinResult[4]);
        EXPECT_TRUE(SamePixels(ReadBitmap(d.m_btnCancel.m_bmpFocus), ReadBitmapResource("CANCEL_FOCUS")));
        EXPECT_TRUE(SamePixels(ReadBitmap(d.m_btnCancel.m_bmpNotFocus), ReadBitmapResource("CANCEL_NOTFOCUS")));
        EXPECT_EQ(nullptr, d.m_btnCancel.m_bmpDisable.GetSafeHandle());
        d.m_btnCancel.GetWindowRect(&r);
        EXPECT_EQ(92, r.Width());
        EXPECT_EQ(24, r.Height());

        // X was not bound before: AttachSkin bound it by id.
        EXPECT_TRUE(d.skinResult[3]);
        EXPECT_EQ(d.GetDlgItem(kX), d.m_btnX.m_hWnd);
        d.m_btnX.GetWindowRect(&r);
        EXPECT_EQ(21, r.Width());

        // An empty text is never skinned; it keeps its template size.
        EXPECT_FALSE(d.skinResult[5]);
        EXPECT_EQ(nullptr, d.m_btnEmpty.m_bmpFocus.GetSafeHandle());
        EXPECT_EQ(d.templateRect[2].Width(), d.ChildRect(d.m_btnEmpty.m_hWnd).Width());

        // Missing pictures: still skinned (TRUE), template size, draws nothing.
        EXPECT_TRUE(d.skinResult[6]);
        EXPECT_EQ(nullptr, d.m_btnNoSuch.m_bmpFocus.GetSafeHandle());
        EXPECT_EQ(d.templateRect[1].Width(), d.ChildRect(d.m_btnNoSuch.m_hWnd).Width());
    });
}

TEST(Buttons, AttachSkinFailsForAMissingControl)
{
    RunWith([](ButtonDlg& d) {
        CExButton stray;
        EXPECT_FALSE(stray.AttachSkin(4242, &d));
        EXPECT_EQ(nullptr, stray.m_hWnd);
    });
}

TEST(Buttons, MissingNotFocusPictureKeepsOnlyTheFocusPicture)
{
    RunWith([](ButtonDlg& d) {
        CRect before;
        d.m_btnDownload.GetWindowRect(&before);
        EXPECT_FALSE(d.m_btnDownload.LoadSkinBitmaps("OK_FOCUS", "NO_SUCH_PICTURE", "SCAN_DISABLE"));
        EXPECT_NE(nullptr, d.m_btnDownload.m_bmpFocus.GetSafeHandle());
        EXPECT_EQ(nullptr, d.m_btnDownload.m_bmpNotFocus.GetSafeHandle());
        EXPECT_EQ(nullptr, d.m_btnDownload.m_bmpDisable.GetSafeHandle());
        CRect after;
        d.m_btnDownload.GetWindowRect(&after);
        EXPECT_EQ(before.Width(), after.Width()); // size kept
        EXPECT_FALSE(d.m_btnDownload.SizeToSkin());
    });
}

TEST(Buttons, RunTimeClassNames)
{
    CExButton a;
    NCExButton b;
    EXPECT_STREQ("CExButton", a.GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("NCExButton", b.GetRuntimeClass()->m_lpszClassName);
    EXPECT_TRUE(a.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_FALSE(a.IsKindOf(RUNTIME_CLASS(NCExButton)));
}

// ------------------------------------------------------ picture on screen

struct StateCase {
    const char* name;
    std::function<void(ButtonDlg&)> act;
    std::vector<std::pair<int, std::string>> expected; // button id, picture
    std::function<void(ButtonDlg&)> check;
};

void PrintTo(const StateCase& c, std::ostream* os) { *os << c.name; }

CWnd& ById(ButtonDlg& d, int id)
{
    switch (id) {
    case kScan: return d.m_btnScan;
    case kDownload: return d.m_btnDownload;
    case kCancel: return d.m_btnCancel;
    default: return d.m_btnX;
    }
}

const char* BaseOf(int id)
{
    switch (id) {
    case kScan: return "SCAN";
    case kDownload: return "DOWNLOAD";
    case kCancel: return "CANCEL";
    default: return "X";
    }
}

void MouseAt(CWnd& w, int x, int y)
{
    w.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

class PictureFollowsState : public ::testing::TestWithParam<StateCase> {};

TEST_P(PictureFollowsState, ReadBackFromTheWindow)
{
    const StateCase& c = GetParam();
    RunWith([&c](ButtonDlg& d) {
        if (c.act)
            c.act(d);
        for (const auto& [id, picture] : c.expected)
            EXPECT_EQ(picture, Shown(ById(d, id), BaseOf(id))) << BaseOf(id);
        if (c.check)
            c.check(d);
    });
}

INSTANTIATE_TEST_SUITE_P(Buttons, PictureFollowsState, ::testing::Values(
    StateCase{"FirstTabStopShowsFocus", nullptr,
              {{kScan, "FOCUS"}, {kDownload, "NOTFOCUS"}, {kCancel, "NOTFOCUS"}, {kX, "NOTFOCUS"}}, nullptr},
    StateCase{"TabbingMovesThePicture", [](ButtonDlg& d) { d.m_btnDownload.SetFocus(); },
              {{kScan, "NOTFOCUS"}, {kDownload, "FOCUS"}}, nullptr},
    StateCase{"MouseOverTakesFocusAndCapture", [](ButtonDlg& d) { MouseAt(d.m_btnDownload, 20, 10); },
              {{kScan, "NOTFOCUS"}, {kDownload, "FOCUS"}},
              [](ButtonDlg& d) {
                  EXPECT_EQ(d.m_btnDownload.m_hWnd, GetCapture());
                  EXPECT_EQ(d.m_btnDownload.m_hWnd, GetFocus());
              }},
    StateCase{"MouseLeavingDropsThePictureNotTheFocus",
              [](ButtonDlg& d) {
                  MouseAt(d.m_btnDownload, 20, 10);
                  MouseAt(d.m_btnDownload, 20, 40); // below its 33 rows
              },
              {{kScan, "NOTFOCUS"}, {kDownload, "NOTFOCUS"}},
              [](ButtonDlg& d) {
                  EXPECT_EQ(nullptr, GetCapture());
                  EXPECT_EQ(d.m_btnDownload.m_hWnd, GetFocus());
              }},
    StateCase{"MouseMovingWithinKeepsThePicture",
              [](ButtonDlg& d) {
                  MouseAt(d.m_btnDownload, 20, 10);
                  MouseAt(d.m_btnDownload, 179, 32);
              },
              {{kDownload, "FOCUS"}}, nullptr},
    StateCase{"DisabledWithoutFocusShowsDisable",
              [](ButtonDlg& d) {
                  d.m_btnX.SetFocus();
                  d.m_btnDownload.EnableWindow(FALSE);
              },
              {{kDownload, "DISABLE"}, {kX, "FOCUS"}}, nullptr},
    StateCase{"DisablingTheFocusedButtonShowsDisable", [](ButtonDlg& d) { d.m_btnScan.EnableWindow(FALSE); },
              {{kScan, "DISABLE"}}, nullptr},
    StateCase{"HoverWinsOverDisabled",
              [](ButtonDlg& d) {
                  d.m_btnScan.EnableWindow(FALSE);
                  d.m_btnScan.m_bHover = true;
              },
              {{kScan, "FOCUS"}}, nullptr},
    StateCase{"MessageBoxButtonFollowsFocusToo", [](ButtonDlg& d) { d.m_btnCancel.SetFocus(); },
              {{kCancel, "FOCUS"}, {kScan, "NOTFOCUS"}}, nullptr}),
    [](const ::testing::TestParamInfo<StateCase>& i) { return std::string(i.param.name); });

TEST(Buttons, DisabledButtonWithoutDisabledPictureDrawsNothing)
{
    RunWith([](ButtonDlg& d) {
        Pixels before = CaptureClient(d.m_btnX.m_hWnd);
        // Paint something recognisable under it first.
        HDC dc = GetDC(d.m_btnX.m_hWnd);
        RECT r{0, 0, 21, 21};
        HBRUSH green = CreateSolidBrush(RGB(0, 200, 0));
        FillRect(dc, &r, green);
        DeleteObject(green);
        ReleaseDC(d.m_btnX.m_hWnd, dc);
        d.m_btnX.EnableWindow(FALSE);
        d.m_btnX.Invalidate(FALSE);
        d.m_btnX.UpdateWindow();
        HDC dc2 = GetDC(d.m_btnX.m_hWnd);
        EXPECT_EQ(RGB(0, 200, 0), GetPixel(dc2, 10, 10));
        ReleaseDC(d.m_btnX.m_hWnd, dc2);
        EXPECT_TRUE(SamePixels(before, ReadBitmapResource("X_NOTFOCUS")));
    });
}

// ------------------------------------------------------------ hand cursor

TEST(Buttons, HandCursorOverCExButtonOnly)
{
    RunWith([](ButtonDlg& d) {
        // Where it comes from on this system, for the record.
        char path[MAX_PATH] = {};
        GetWindowsDirectoryA(path, MAX_PATH);
        lstrcatA(path, "\\winhlp32.exe");
        HMODULE m = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HCURSOR fromHelp = m ? LoadCursorA(m, MAKEINTRESOURCEA(106)) : nullptr;
        std::cout << "[ NOTE     ] winhlp32.exe " << (m ? "present" : "missing") << ", cursor 106 "
                  << (fromHelp ? "found" : "not found") << "\n";
        if (m)
            FreeLibrary(m);

        EXPECT_EQ(nullptr, d.m_btnScan.m_hCursor);
        d.m_btnScan.LoadHandCursor();
        ASSERT_NE(nullptr, d.m_btnScan.m_hCursor);
        HCURSOR first = d.m_btnScan.m_hCursor;
        d.m_btnScan.LoadHandCursor(); // already loaded: kept
        EXPECT_EQ(first, d.m_btnScan.m_hCursor);

        LRESULT handled = d.m_btnScan.SendMessage(WM_SETCURSOR, (WPARAM)d.m_btnScan.m_hWnd,
                                                  MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(TRUE, handled);
        EXPECT_EQ(first, GetCursor());

        // The message box's buttons keep the standard arrow.
        SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_ARROW));
        d.m_btnCancel.SendMessage(WM_SETCURSOR, (WPARAM)d.m_btnCancel.m_hWnd,
                                  MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_NE(first, GetCursor());
    });
}


// ------------------------------------------------------------- the artwork

struct ArtCase {
    const char* name;
    int w, h;
};

void PrintTo(const ArtCase& c, std::ostream* os) { *os << c.name; }

class Artwork : public ::testing::TestWithParam<ArtCase> {};

// Every picture the dialogs name exists with its size, 24 bits per pixel.
TEST_P(Artwork, NamedPictureHasItsSize)
{
    const ArtCase& c = GetParam();
    HRSRC res = FindResourceA(nullptr, c.name, MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    ASSERT_NE(nullptr, res);
    const auto* bih = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, res)));
    ASSERT_NE(nullptr, bih);
    EXPECT_EQ(24, bih->biBitCount);
    Pixels p = ReadBitmapResource(c.name);
    EXPECT_EQ(c.w, p.w);
    EXPECT_EQ(c.h, p.h);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Artwork, ::testing::Values(
    ArtCase{"SCAN_FOCUS", 180, 33}, ArtCase{"SCAN_NOTFOCUS", 180, 33}, ArtCase{"SCAN_DISABLE", 180, 33},
    ArtCase{"DOWNLOAD_FOCUS", 180, 33}, ArtCase{"DOWNLOAD_NOTFOCUS", 180, 33},
    ArtCase{"DOWNLOAD_DISABLE", 180, 33}, ArtCase{"X_FOCUS", 21, 21}, ArtCase{"X_NOTFOCUS", 21, 21},
    ArtCase{"OK_FOCUS", 92, 24}, ArtCase{"OK_NOTFOCUS", 92, 24}, ArtCase{"CANCEL_FOCUS", 92, 24},
    ArtCase{"CANCEL_NOTFOCUS", 92, 24}, ArtCase{"YES_FOCUS", 92, 24}, ArtCase{"YES_NOTFOCUS", 92, 24},
    ArtCase{"NO_FOCUS", 92, 24}, ArtCase{"NO_NOTFOCUS", 92, 24}, ArtCase{"DLINK_FOCUS", 313, 43},
    ArtCase{"DLINK_NOTFOCUS", 313, 43}, ArtCase{"ULINK_FOCUS", 244, 28}, ArtCase{"ULINK_NOTFOCUS", 244, 28},
    ArtCase{"TESSAROLOGO_FOCUS", 38, 36}, ArtCase{"TESSAROLOGO_NOTFOCUS", 38, 36},
    ArtCase{"#152", 42, 40}, ArtCase{"#153", 42, 40}, ArtCase{"#154", 42, 40}, ArtCase{"#155", 42, 40}),
    [](const ::testing::TestParamInfo<ArtCase>& i) {
        std::string n = i.param.name;
        return n[0] == '#' ? "Icon" + n.substr(1) : n;
    });

TEST(Buttons, OnlyScanAndDownloadHaveDisabledPictures)
{
    for (const char* name : {"X_DISABLE", "OK_DISABLE", "CANCEL_DISABLE", "YES_DISABLE", "NO_DISABLE",
                             "DLINK_DISABLE", "ULINK_DISABLE", "TESSAROLOGO_DISABLE"})
        EXPECT_EQ(nullptr, FindResourceA(nullptr, name, MAKEINTRESOURCEA(2))) << name;
}

} // namespace
