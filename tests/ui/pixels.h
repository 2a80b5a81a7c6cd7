// Reading back what a window shows, comparing it with a bitmap resource, and
// saving it as a screenshot for people to look at.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace scx::uitest {

struct Pixels {
    int w = 0, h = 0;
    std::vector<uint32_t> px; // 0x00RRGGBB, top row first
    uint32_t at(int x, int y) const { return px[size_t(y) * w + x]; }
};

// Pixels of a bitmap handle.
Pixels ReadBitmap(HBITMAP bmp);
// Pixels of a bitmap resource of this program (LoadImage, as the buttons do).
Pixels ReadBitmapResource(const char* name);
// What the window's client area (or whole window) shows now. With repaint,
// the window is repainted first: only from the window's own thread, since a
// repaint requested from another thread may not have finished when it returns.
Pixels CaptureClient(HWND hwnd, bool repaint = true);
Pixels CaptureWindow(HWND hwnd, bool repaint = true);
// The top-left w x h part of p.
Pixels Crop(const Pixels& p, int x, int y, int w, int h);
bool SamePixels(const Pixels& a, const Pixels& b);
// Writes a 24-bit BMP; folders are made as needed.
bool SaveBmp(const Pixels& p, const std::string& path);
// C:\screenshots\ui\<name>.bmp: inside the build folder's Wine prefix.
std::string ScreenshotPath(const std::string& name);

} // namespace scx::uitest
