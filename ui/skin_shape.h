// Window shape from a skin bitmap, and stretching a template's layout.
#pragma once
#include <windows.h>

// A region made of one-pixel-high runs of the bitmap's pixels. key holds the
// colour in the bitmap's own pixel order, 0x00RRGGBB (blue in the low byte):
// its three low bytes are compared exactly with each pixel's blue, green and
// red. keepNonKey nonzero: the region covers every pixel that is not the key
// colour; zero: every pixel that is. Returns nullptr when nothing could be
// built. The caller owns the region; the bitmap is left unchanged and not
// selected into any DC.
HRGN BuildRegionFromBitmap(HBITMAP bitmap, DWORD key, BOOL keepNonKey);

// Moves and resizes every descendant of window by the ratio between the
// reference size and the window's client size, about the screen origin (call
// it while the window's top-left corner is there). hasMenu has no effect.
// Returns the child enumeration's result.
BOOL ScaleChildControls(HWND window, int referenceWidth, int referenceHeight, BOOL hasMenu);
