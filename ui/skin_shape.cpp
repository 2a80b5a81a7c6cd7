#include "ui/skin_shape.h"

#include "platform/handle_guard.h"

#include <climits>

namespace {

constexpr DWORD kGrowBy = 100;       // rectangles added per reallocation
constexpr DWORD kBatch = 2000;       // rectangles handed to the system at once

DWORD BufferBytes(DWORD capacity)
{
    return sizeof(RGNDATAHEADER) + capacity * sizeof(RECT);
}

void ResetHeader(RGNDATAHEADER* h)
{
    h->nCount = 0;
    SetRect(&h->rcBound, LONG_MAX, LONG_MAX, 0, 0);
}

// Makes a region of what the buffer holds and ORs it into result.
void FlushBatch(RGNDATA* data, DWORD capacity, HRGN* result)
{
    HRGN part = ExtCreateRegion(nullptr, BufferBytes(capacity), data);
    if (!part)
        return; // this batch is lost; the next one goes on
    if (*result) {
        CombineRgn(*result, *result, part, RGN_OR);
        DeleteObject(part);
    } else {
        *result = part;
    }
}

// The rectangle buffer: one movable global block laid out as RGNDATA.
class RectBuffer {
public:
    RectBuffer()
    {
        mem_ = GlobalAlloc(GMEM_MOVEABLE, BufferBytes(capacity_));
        if (mem_)
            data_ = static_cast<RGNDATA*>(GlobalLock(mem_));
        if (data_) {
            data_->rdh.dwSize = sizeof(RGNDATAHEADER);
            data_->rdh.iType = RDH_RECTANGLES;
            data_->rdh.nRgnSize = 0;
            ResetHeader(&data_->rdh);
        }
    }
    ~RectBuffer()
    {
        if (data_)
            GlobalUnlock(mem_);
        if (mem_)
            GlobalFree(mem_);
    }
    RectBuffer(const RectBuffer&) = delete;
    RectBuffer& operator=(const RectBuffer&) = delete;

    bool ok() const { return data_ != nullptr; }
    RGNDATA* data() const { return data_; }
    DWORD capacity() const { return capacity_; }

    // Adds one run; false when the buffer could not grow.
    bool Add(LONG left, LONG top, LONG right, LONG bottom)
    {
        if (data_->rdh.nCount >= capacity_) {
            GlobalUnlock(mem_);
            data_ = nullptr;
            HGLOBAL grown = GlobalReAlloc(mem_, BufferBytes(capacity_ + kGrowBy), GMEM_MOVEABLE);
            if (grown) {
                mem_ = grown;
                capacity_ += kGrowBy;
            }
            data_ = static_cast<RGNDATA*>(GlobalLock(mem_));
            if (!grown || !data_)
                return false;
        }
        RECT* rects = reinterpret_cast<RECT*>(data_->Buffer);
        RECT& r = rects[data_->rdh.nCount];
        SetRect(&r, left, top, right, bottom);
        RECT& b = data_->rdh.rcBound;
        if (left < b.left) b.left = left;
        if (top < b.top) b.top = top;
        if (right > b.right) b.right = right;
        if (bottom > b.bottom) b.bottom = bottom;
        ++data_->rdh.nCount;
        return true;
    }

private:
    HGLOBAL mem_ = nullptr;
    RGNDATA* data_ = nullptr;
    DWORD capacity_ = kGrowBy;
};

// The ratio as its two sizes: a coordinate divided by client / reference is
// computed exactly as coordinate * reference / client in integers. Floating
// point gave 24 for 14 / (336 / 600) = 25 in SSE, and x87's wider
// intermediates can round the other way, so the two builds laid out differently.
struct ScaleRatio {
    int clientW, clientH;
    int refW, refH;
};

int ScaleCoordinate(LONG value, int reference, int client)
{
    // Integer division truncates toward zero, as the conversion did.
    return int(static_cast<long long>(value) * reference / client);
}

BOOL CALLBACK ScaleOneChild(HWND child, LPARAM lp)
{
    const auto* ratio = reinterpret_cast<const ScaleRatio*>(lp);
    RECT r;
    if (!GetWindowRect(child, &r))
        return TRUE;
    int left = ScaleCoordinate(r.left, ratio->refW, ratio->clientW);
    int right = ScaleCoordinate(r.right, ratio->refW, ratio->clientW);
    int top = ScaleCoordinate(r.top, ratio->refH, ratio->clientH);
    int bottom = ScaleCoordinate(r.bottom, ratio->refH, ratio->clientH);
    POINT p{left, top};
    ScreenToClient(GetParent(child), &p);
    MoveWindow(child, p.x, p.y, right - left, bottom - top, TRUE);
    return TRUE;
}

} // namespace

HRGN BuildRegionFromBitmap(HBITMAP bitmap, DWORD key, BOOL keepNonKey)
{
    if (!bitmap)
        return nullptr;
    MemoryDcGuard dcWork(CreateCompatibleDC(nullptr));
    if (!dcWork)
        return nullptr;
    BITMAP bm{};
    if (!GetObjectA(bitmap, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
        return nullptr;
    const int w = bm.bmWidth, h = bm.bmHeight;

    // A 32-bit bottom-up section, so every pixel reads as four bytes
    // whatever the source's depth.
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = w;
    bih.biHeight = h;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    bih.biCompression = BI_RGB;
    void* bits = nullptr;
    // Declared before the DCs' selections change: a bitmap is deleted only
    // once it is selected out again (below), and before its DC goes.
    GdiObjectGuard work(CreateDIBSection(dcWork.get(), reinterpret_cast<BITMAPINFO*>(&bih), DIB_RGB_COLORS,
                                         &bits, nullptr, 0));
    if (!work || !bits)
        return nullptr;
    HGDIOBJ oldWork = SelectObject(dcWork.get(), work.get());
    MemoryDcGuard dcSource(CreateCompatibleDC(dcWork.get()));
    if (!dcSource) {
        SelectObject(dcWork.get(), oldWork);
        return nullptr;
    }
    BITMAP wb{};
    GetObjectA(work.get(), sizeof wb, &wb);
    LONG rowLen = wb.bmWidthBytes;
    if (rowLen % 4)
        rowLen += 4 - rowLen % 4;

    HGDIOBJ oldSource = SelectObject(dcSource.get(), bitmap);
    BitBlt(dcWork.get(), 0, 0, w, h, dcSource.get(), 0, 0, SRCCOPY);
    GdiFlush(); // the section's memory is read directly below

    const BYTE kb = BYTE(key & 0xFF), kg = BYTE((key >> 8) & 0xFF), kr = BYTE((key >> 16) & 0xFF);
    const bool wantKey = !keepNonKey;
    HRGN result = nullptr;
    bool failed = false;
    {
        RectBuffer buf;
        if (!buf.ok()) {
            failed = true;
        } else {
            // The last stored row is the picture's top row.
            const BYTE* row = static_cast<const BYTE*>(bits) + size_t(h - 1) * size_t(rowLen);
            for (int y = 0; y < h && !failed; ++y, row -= rowLen) {
                for (int x = 0; x < w; ++x) {
                    int x0 = x;
                    while (x < w) {
                        const BYTE* p = row + size_t(x) * 4;
                        bool isKey = p[0] == kb && p[1] == kg && p[2] == kr;
                        if (isKey != wantKey)
                            break;
                        ++x;
                    }
                    if (x > x0) {
                        if (!buf.Add(x0, y, x, y + 1)) {
                            failed = true;
                            break;
                        }
                        if (buf.data()->rdh.nCount == kBatch) {
                            FlushBatch(buf.data(), buf.capacity(), &result);
                            ResetHeader(&buf.data()->rdh);
                        }
                    }
                    // x now stands on the pixel that ended the run (or past
                    // the row); the loop steps over it.
                }
            }
            if (!failed)
                FlushBatch(buf.data(), buf.capacity(), &result);
        }
    }
    // A partial shape would cut pieces out of the window: without the whole
    // region the window stays rectangular.
    if (failed && result) {
        DeleteObject(result);
        result = nullptr;
    }

    SelectObject(dcSource.get(), oldSource);
    SelectObject(dcWork.get(), oldWork);
    return result;
}

BOOL ScaleChildControls(HWND window, int referenceWidth, int referenceHeight, BOOL)
{
    RECT client;
    if (!GetClientRect(window, &client) || referenceWidth <= 0 || referenceHeight <= 0 ||
        client.right <= 0 || client.bottom <= 0)
        return FALSE;
    ScaleRatio ratio{int(client.right), int(client.bottom), referenceWidth, referenceHeight};
    return EnumChildWindows(window, ScaleOneChild, reinterpret_cast<LPARAM>(&ratio));
}
