// The coloured label paints its text white on RGB(2, 77, 246) in the shared
// label font, centred, clipped to its rectangle, and follows text changes.
// What it shows is compared with the same text drawn the same way by hand
// over the label's own background.
#include "framework/framework.h"
#include "tests/ui/pixels.h"
#include "ui/color_static.h"
#include "ui/ui_globals.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

using namespace scx::uitest;

namespace {

class LabelDlg : public CDialog {
public:
    LabelDlg() : CDialog(920) {}
    std::function<void(LabelDlg&)> body;
    CColorStatic m_stcFamily;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, 1068, m_stcFamily);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        PostMessage(WM_APP);
        return TRUE;
    }
    LRESULT OnRun(WPARAM, LPARAM)
    {
        SetWindowPos(HWND_TOPMOST, 200, 500, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        body(*this);
        EndDialog(IDOK);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(LabelDlg, CDialog)
    ON_MESSAGE(WM_APP, OnRun)
END_MESSAGE_MAP()

// background with text drawn over it as the label should draw it
Pixels Expected(const Pixels& background, const std::string& text, HFONT font)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = background.w;
    bi.bmiHeader.biHeight = -background.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBmp = SelectObject(dc, bmp);
    auto* px = static_cast<uint32_t*>(bits);
    for (size_t i = 0; i < background.px.size(); ++i)
        px[i] = background.px[i];
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(2, 77, 246));
    RECT r{0, 0, background.w, background.h};
    DrawTextA(dc, text.c_str(), int(text.size()), &r, DT_CENTER | DT_VCENTER);
    if (oldFont)
        SelectObject(dc, oldFont);
    GdiFlush();
    Pixels out = background;
    for (size_t i = 0; i < out.px.size(); ++i)
        out.px[i] = px[i] & 0xFFFFFF;
    SelectObject(dc, oldBmp);
    DeleteObject(bmp);
    DeleteDC(dc);
    return out;
}

int CountColour(const Pixels& p, uint32_t c)
{
    int n = 0;
    for (uint32_t v : p.px)
        n += v == c;
    return n;
}

constexpr uint32_t kBlue = 0x024DF6, kWhite = 0xFFFFFF;

struct LabelCase {
    const char* name;
    bool withLabelFont;
    std::string text;
};

void PrintTo(const LabelCase& c, std::ostream* os) { *os << c.name; }

class ColouredLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(ColouredLabel, WhiteOnBlueInTheLabelFont)
{
    const LabelCase& c = GetParam();
    if (c.withLabelFont) {
        LOGFONTA lf{};
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
        lf.lfHeight = 15;
        lf.lfWeight = FW_BOLD;
        ASSERT_TRUE(g_labelFont.CreateFontIndirect(&lf));
    }
    LabelDlg dlg;
    dlg.body = [&c](LabelDlg& d) {
        // An empty text draws nothing: what shows is the background.
        d.m_stcFamily.SetWindowText("");
        Pixels background = CaptureClient(d.m_stcFamily.m_hWnd);
        ASSERT_GT(background.w, 0);
        EXPECT_EQ(0, CountColour(background, kBlue));

        d.m_stcFamily.SetWindowText(c.text.c_str());
        Pixels shown = CaptureClient(d.m_stcFamily.m_hWnd);
        HFONT font = c.withLabelFont ? (HFONT)g_labelFont : nullptr;
        EXPECT_TRUE(SamePixels(Expected(background, c.text, font), shown));
        EXPECT_GT(CountColour(shown, kBlue), 0);
        EXPECT_GT(CountColour(shown, kWhite), 0);
        EXPECT_EQ(c.text, d.m_stcFamily.m_strText);
        if (c.withLabelFont) {
            // Drawn in another font it would look different: the font matters.
            EXPECT_FALSE(SamePixels(Expected(background, c.text, (HFONT)GetStockObject(ANSI_VAR_FONT)), shown));
        }

        // A new text shows at the next paint.
        d.m_stcFamily.SetWindowText("Changed");
        Pixels changed = CaptureClient(d.m_stcFamily.m_hWnd);
        EXPECT_TRUE(SamePixels(Expected(background, "Changed", font), changed));
        EXPECT_EQ("Changed", d.m_stcFamily.m_strText);

        if (c.withLabelFont)
            SaveBmp(CaptureWindow(d.m_hWnd), ScreenshotPath(std::string("label_") + c.name));
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    g_labelFont.DeleteObject();
}

INSTANTIATE_TEST_SUITE_P(Label, ColouredLabel, ::testing::Values(
    LabelCase{"FamilyName", true, "for W32/Vexmor Trojan"},
    LabelCase{"WithoutLabelFontUsesTheDCFont", false, "for W32/Vexmor Trojan"}),
    [](const ::testing::TestParamInfo<LabelCase>& i) { return std::string(i.param.name); });

TEST(Label, TextIsClippedToTheLabel)
{
    LOGFONTA lf{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = 15;
    lf.lfWeight = FW_BOLD;
    ASSERT_TRUE(g_labelFont.CreateFontIndirect(&lf));
    LabelDlg dlg;
    dlg.body = [](LabelDlg& d) {
        d.m_stcFamily.SetWindowText(std::string(200, 'W').c_str());
        CaptureClient(d.m_stcFamily.m_hWnd);
        // The dialog around the label holds no blue or white text cells.
        Pixels all = CaptureClient(d.m_hWnd);
        CRect label;
        d.m_stcFamily.GetWindowRect(&label);
        ::MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT*>(&label), 2);
        int outside = 0, inside = 0;
        for (int y = 0; y < all.h; ++y)
            for (int x = 0; x < all.w; ++x) {
                bool in = x >= label.left && x < label.right && y >= label.top && y < label.bottom;
                if (all.at(x, y) == kBlue)
                    (in ? inside : outside)++;
            }
        EXPECT_GT(inside, 0);
        EXPECT_EQ(0, outside);
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    g_labelFont.DeleteObject();
}

} // namespace
