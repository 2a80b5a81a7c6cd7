#include "tests/ui/pixels.h"

namespace scx::uitest {

namespace {

Pixels ReadFromDC(HDC src, int x, int y, int w, int h)
{
    Pixels p;
    if (w <= 0 || h <= 0)
        return p;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(src);
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) {
        DeleteDC(mem);
        return p;
    }
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
    GdiFlush();
    p.w = w;
    p.h = h;
    p.px.resize(size_t(w) * h);
    const uint32_t* s = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < p.px.size(); ++i)
        p.px[i] = s[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    return p;
}

} // namespace

Pixels ReadBitmap(HBITMAP bmp)
{
    BITMAP bm{};
    if (!bmp || !GetObjectA(bmp, sizeof bm, &bm))
        return Pixels{};
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    Pixels p = ReadFromDC(dc, 0, 0, bm.bmWidth, bm.bmHeight);
    SelectObject(dc, old);
    DeleteDC(dc);
    return p;
}

Pixels ReadBitmapResource(const char* name)
{
    HBITMAP bmp = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    Pixels p = ReadBitmap(bmp);
    if (bmp)
        DeleteObject(bmp);
    return p;
}

Pixels CaptureClient(HWND hwnd, bool repaint)
{
    if (repaint)
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r;
    GetClientRect(hwnd, &r);
    HDC dc = GetDC(hwnd);
    Pixels p = ReadFromDC(dc, 0, 0, r.right, r.bottom);
    ReleaseDC(hwnd, dc);
    return p;
}

Pixels CaptureWindow(HWND hwnd, bool repaint)
{
    if (repaint)
        RedrawWindow(hwnd, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r;
    GetWindowRect(hwnd, &r);
    HDC dc = GetWindowDC(hwnd);
    Pixels p = ReadFromDC(dc, 0, 0, r.right - r.left, r.bottom - r.top);
    ReleaseDC(hwnd, dc);
    return p;
}

Pixels Crop(const Pixels& p, int x, int y, int w, int h)
{
    Pixels c;
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > p.w || y + h > p.h)
        return c;
    c.w = w;
    c.h = h;
    c.px.resize(size_t(w) * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            c.px[size_t(j) * w + i] = p.at(x + i, y + j);
    return c;
}

bool SamePixels(const Pixels& a, const Pixels& b)
{
    return a.w == b.w && a.h == b.h && a.w > 0 && a.px == b.px;
}

bool SaveBmp(const Pixels& p, const std::string& path)
{
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    int row = (p.w * 3 + 3) & ~3;
    std::vector<uint8_t> data(size_t(row) * p.h, 0);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            uint32_t c = p.at(x, y);
            uint8_t* d = &data[size_t(p.h - 1 - y) * row + size_t(x) * 3];
            d[0] = uint8_t(c);
            d[1] = uint8_t(c >> 8);
            d[2] = uint8_t(c >> 16);
        }
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = DWORD(fh.bfOffBits + data.size());
    ih.biSize = sizeof ih;
    ih.biWidth = p.w;
    ih.biHeight = p.h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    DWORD n = 0;
    bool ok = WriteFile(f, &fh, sizeof fh, &n, nullptr) && WriteFile(f, &ih, sizeof ih, &n, nullptr) &&
              WriteFile(f, data.data(), DWORD(data.size()), &n, nullptr);
    CloseHandle(f);
    return ok;
}

std::string ScreenshotPath(const std::string& name)
{
    return "C:\\screenshots\\ui\\" + name + ".bmp";
}

} // namespace scx::uitest
