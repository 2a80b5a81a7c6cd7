// Window shape from a bitmap (compared with a region built pixel by pixel)
// and the scaling of child controls to a reference size.
#include "ui/skin_shape.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Pixels as 0x00RRGGBB, row 0 at the top.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    uint32_t& at(int x, int y) { return px[size_t(y) * w + x]; }
};

constexpr uint32_t kMagenta = 0xFF00FF;
constexpr uint32_t kWhite = 0xFFFFFF;

// A 24-bit device-independent bitmap holding the picture.
HBITMAP MakeBitmap24(const Picture& p)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.w;
    bi.bmiHeader.biHeight = -p.h; // top-down, so rows map directly
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp)
        return nullptr;
    int stride = (p.w * 3 + 3) & ~3;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            uint32_t c = p.px[size_t(y) * p.w + x];
            uint8_t* d = static_cast<uint8_t*>(bits) + size_t(y) * stride + size_t(x) * 3;
            d[0] = uint8_t(c & 0xFF);          // blue
            d[1] = uint8_t((c >> 8) & 0xFF);   // green
            d[2] = uint8_t((c >> 16) & 0xFF);  // red
        }
    GdiFlush();
    return bmp;
}

// An 8-bit palette bitmap, as the skin is: index 0 magenta, 1 white.
HBITMAP MakeBitmap8(const Picture& p)
{
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
    } bi{};
    bi.h.biSize = sizeof bi.h;
    bi.h.biWidth = p.w;
    bi.h.biHeight = -p.h;
    bi.h.biPlanes = 1;
    bi.h.biBitCount = 8;
    bi.h.biClrUsed = 2;
    bi.colors[0] = {0xFF, 0x00, 0xFF, 0};
    bi.colors[1] = {0xFF, 0xFF, 0xFF, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp)
        return nullptr;
    int stride = (p.w + 3) & ~3;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            static_cast<uint8_t*>(bits)[size_t(y) * stride + x] = p.px[size_t(y) * p.w + x] == kMagenta ? 0 : 1;
    GdiFlush();
    return bmp;
}

// The expected shape, one pixel at a time.
HRGN ReferenceRegion(const Picture& p, uint32_t key, bool keepNonKey)
{
    HRGN all = CreateRectRgn(0, 0, 0, 0);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            bool isKey = (p.px[size_t(y) * p.w + x] & 0xFFFFFF) == key;
            if (isKey != keepNonKey) {
                HRGN one = CreateRectRgn(x, y, x + 1, y + 1);
                CombineRgn(all, all, one, RGN_OR);
                DeleteObject(one);
            }
        }
    return all;
}

struct RegionCase {
    const char* name;
    int w, h;
    std::function<uint32_t(int x, int y)> pixel;
    uint32_t key;
    bool keepNonKey;
    bool eightBit;
    int expectedRuns;   // -1: not counted
};

void PrintTo(const RegionCase& c, std::ostream* os) { *os << c.name; }

int CountRuns(const Picture& p, uint32_t key, bool keepNonKey)
{
    int runs = 0;
    for (int y = 0; y < p.h; ++y) {
        bool in = false;
        for (int x = 0; x < p.w; ++x) {
            bool shape = ((p.px[size_t(y) * p.w + x] == key) != keepNonKey);
            if (shape && !in)
                ++runs;
            in = shape;
        }
    }
    return runs;
}

class RegionFromBitmap : public ::testing::TestWithParam<RegionCase> {};

TEST_P(RegionFromBitmap, MatchesPixelByPixelReference)
{
    const RegionCase& c = GetParam();
    Picture p;
    p.w = c.w;
    p.h = c.h;
    p.px.resize(size_t(c.w) * c.h);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            p.at(x, y) = c.pixel(x, y);
    if (c.expectedRuns >= 0) {
        ASSERT_EQ(c.expectedRuns, CountRuns(p, c.key, c.keepNonKey)) << "fixture";
    }

    HBITMAP bmp = c.eightBit ? MakeBitmap8(p) : MakeBitmap24(p);
    ASSERT_NE(nullptr, bmp);
    HRGN got = BuildRegionFromBitmap(bmp, c.key, c.keepNonKey);
    HRGN want = ReferenceRegion(p, c.key, c.keepNonKey);
    ASSERT_NE(nullptr, got);
    EXPECT_TRUE(EqualRgn(got, want));
    RECT gb{}, wb{};
    GetRgnBox(got, &gb);
    GetRgnBox(want, &wb);
    EXPECT_TRUE(EqualRect(&gb, &wb)) << gb.left << "," << gb.top << "," << gb.right << "," << gb.bottom;

    // The source is left unselected: it can be selected again.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    EXPECT_NE(nullptr, old);
    SelectObject(dc, old);
    DeleteDC(dc);

    DeleteObject(got);
    DeleteObject(want);
    DeleteObject(bmp);
}

uint32_t Solid(int, int) { return kWhite; }

INSTANTIATE_TEST_SUITE_P(Shape, RegionFromBitmap, ::testing::Values(
    RegionCase{"NoKeyPixelsCoverTheWholeBitmap", 53, 34, Solid, kMagenta, true, false, 34},
    RegionCase{"KeyRowAddsNothing", 20, 9,
               [](int, int y) { return y == 4 ? kMagenta : kWhite; }, kMagenta, true, false, 8},
    RegionCase{"RoundedCornersCutAway", 40, 30,
               [](int x, int y) {
                   int dx = x < 6 ? 6 - x : x > 33 ? x - 33 : 0;
                   int dy = y < 6 ? 6 - y : y > 23 ? y - 23 : 0;
                   return dx * dx + dy * dy > 36 ? kMagenta : kWhite;
               }, kMagenta, true, false, 30},
    RegionCase{"KeepNonKeyZeroGivesTheKeyArea", 30, 12,
               [](int x, int y) { return (x / 3 + y) % 2 ? kMagenta : kWhite; }, kMagenta, false, false, -1},
    // 40 wide, every other pixel: 20 runs a row; 100 rows make 2000.
    RegionCase{"Exactly2000RunsOneBatch", 40, 100,
               [](int x, int) { return x % 2 ? kMagenta : kWhite; }, kMagenta, true, false, 2000},
    RegionCase{"Runs2001TwoBatches", 40, 101,
               [](int x, int y) { return (y == 100 ? x != 7 : x % 2) ? kMagenta : kWhite; },
               kMagenta, true, false, 2001},
    RegionCase{"ManyBatchesAndBufferGrowth", 61, 150,
               [](int x, int y) { return (x + y) % 2 ? kMagenta : kWhite; }, kMagenta, true, false, -1},
    // The key is in the bitmap's own order 0x00RRGGBB; the match is exact.
    RegionCase{"AsymmetricKeyExactMatch", 12, 6,
               [](int x, int) { return x < 4 ? 0x112233u : x < 8 ? 0x112234u : 0x332211u; },
               0x112233, true, false, 6},
    RegionCase{"EightBitSourceLikeTheSkin", 33, 21,
               [](int x, int y) { return (x * y) % 5 == 0 ? kMagenta : kWhite; }, kMagenta, true, true, -1}),
    [](const ::testing::TestParamInfo<RegionCase>& i) { return std::string(i.param.name); });

TEST(Shape, NoBitmapGivesNoRegion)
{
    EXPECT_EQ(nullptr, BuildRegionFromBitmap(nullptr, kMagenta, TRUE));
}

TEST(Shape, AllKeyPixelsKeepingNonKeyGivesAnEmptyRegion)
{
    Picture p;
    p.w = 10;
    p.h = 4;
    p.px.assign(40, kMagenta);
    HBITMAP bmp = MakeBitmap24(p);
    HRGN r = BuildRegionFromBitmap(bmp, kMagenta, TRUE);
    ASSERT_NE(nullptr, r);
    RECT box;
    EXPECT_EQ(NULLREGION, GetRgnBox(r, &box));
    DeleteObject(r);
    DeleteObject(bmp);
}

// ------------------------------------------------------------------ scaling

LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

const char* PlainClass()
{
    static bool done = false;
    if (!done) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ScxScaleTest";
        RegisterClassA(&wc);
        done = true;
    }
    return "ScxScaleTest";
}

struct ScaleCase {
    const char* name;
    int clientW, clientH;     // the window sits at the screen origin, no frame
    int refW, refH;
    RECT child;               // in the window's client coordinates
    RECT expected;            // after scaling, client coordinates
};

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name; }

class ScaleChildren : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleChildren, FollowTheArithmetic)
{
    const ScaleCase& c = GetParam();
    HWND top = CreateWindowExA(0, PlainClass(), "scale", WS_POPUP, 0, 0, c.clientW, c.clientH,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, top);
    const RECT& r = c.child;
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, top, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, child);

    EXPECT_NE(FALSE, ScaleChildControls(top, c.refW, c.refH, FALSE));

    RECT got;
    GetWindowRect(child, &got);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ(c.expected.left, got.left);
    EXPECT_EQ(c.expected.top, got.top);
    EXPECT_EQ(c.expected.right, got.right);
    EXPECT_EQ(c.expected.bottom, got.bottom);

    DestroyWindow(top);
}

INSTANTIATE_TEST_SUITE_P(Scale, ScaleChildren, ::testing::Values(
    // 527 / 600 = 0.878333..; 338 / 337 = 1.002967..
    // 100 / 0.878333 = 113.85 -> 113; 200 / 0.878333 = 227.70 -> 227;
    // 50 / 1.002967 = 49.85 -> 49; 80 / 1.002967 = 79.76 -> 79
    ScaleCase{"SkinToReference", 527, 338, 600, 337, {100, 50, 200, 80}, {113, 49, 227, 79}},
    ScaleCase{"IdentityKeepsRectangles", 600, 337, 600, 337, {17, 23, 290, 168}, {17, 23, 290, 168}},
    // ratio 2: 11 / 2 = 5.5 -> 5 and 10 / 2 = 5: right equals left, width 0
    ScaleCase{"WidthZeroAfterTruncation", 800, 400, 400, 200, {10, 20, 11, 40}, {5, 10, 5, 20}},
    // ratio 0.5 each way: everything doubles
    ScaleCase{"SmallerWindowStretches", 300, 150, 600, 300, {7, 9, 21, 30}, {14, 18, 42, 60}},
    // Exact quotients that a division by the ratio in double precision
    // misses: 14 / (336 / 600) gives 24.999.. and 17 / (204 / 600) 49.999..,
    // truncated to 24 and 49. The layout must not depend on the FPU.
    ScaleCase{"ExactQuotientsAcross", 336, 204, 600, 600, {14, 17, 28, 34}, {25, 50, 50, 100}},
    ScaleCase{"ExactQuotientsDown", 350, 64, 600, 300, {35, 48, 70, 56}, {60, 225, 120, 262}}),
    [](const ::testing::TestParamInfo<ScaleCase>& i) { return std::string(i.param.name); });

} // namespace
