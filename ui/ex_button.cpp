#include "ui/ex_button.h"

#include <string>

namespace {

// The parts both button classes share, over their own members.
struct Skin {
    CWnd& wnd;
    bool& hover;
    CRect& rc;
    CBitmap& disable;
    CBitmap& notFocus;
    CBitmap& focus;

    BOOL SizeToSkin()
    {
        BITMAP bm{};
        if (!notFocus.GetBitmap(&bm))
            return FALSE;
        if (!wnd.SetWindowPos(nullptr, 0, 0, bm.bmWidth, bm.bmHeight,
                              SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE))
            return FALSE;
        rc = CRect(0, 0, bm.bmWidth, bm.bmHeight);
        return TRUE;
    }

    BOOL Load(const char* focusName, const char* notFocusName, const char* disableName)
    {
        focus.DeleteObject();
        notFocus.DeleteObject();
        disable.DeleteObject();
        if (!focus.LoadImageResource(focusName))
            return FALSE;
        if (!notFocus.LoadImageResource(notFocusName))
            return FALSE;
        disable.LoadImageResource(disableName); // optional
        return SizeToSkin();
    }

    BOOL Attach(UINT id, CWnd* parent)
    {
        if (!wnd.m_hWnd && !wnd.SubclassDlgItem(id, parent))
            return FALSE;
        std::string text = wnd.GetWindowTextString();
        if (text.empty())
            return FALSE;
        Load((text + "_FOCUS").c_str(), (text + "_NOTFOCUS").c_str(), (text + "_DISABLE").c_str());
        return TRUE;
    }

    // Hover wins over the disabled state; no text, focus rectangle or
    // pressed look is drawn.
    void Draw(LPDRAWITEMSTRUCT dis)
    {
        CBitmap* pic = hover ? &focus : (dis->itemState & ODS_DISABLED) ? &disable : &notFocus;
        if (!pic->GetSafeHandle())
            return;
        CDC mem;
        if (!mem.CreateCompatibleDC(dis->hDC))
            return;
        CSelectGuard select(mem, pic->GetSafeHandle());
        if (!select.Selected())
            return;
        const RECT& r = dis->rcItem;
        ::BitBlt(dis->hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, SRCCOPY);
    }

    // The button holds the capture while the mouse is over it, so the first
    // move outside tells it the mouse has left.
    void MouseMove(CPoint point)
    {
        if (::GetCapture() != wnd.m_hWnd) {
            wnd.SetFocus();
            hover = true;
            wnd.SetCapture();
            wnd.Invalidate(FALSE);
        } else if (!rc.PtInRect(point) && ::GetCapture() == wnd.m_hWnd) {
            ::ReleaseCapture();
            hover = false;
            wnd.Invalidate(FALSE);
        }
    }

    void Focus(bool on)
    {
        hover = on;
        wnd.Invalidate(FALSE);
    }
};

#define SKIN Skin{*this, m_bHover, m_rcButton, m_bmpDisable, m_bmpNotFocus, m_bmpFocus}

} // namespace

// ---------------------------------------------------------------- CExButton

IMPLEMENT_DYNAMIC(CExButton, CWnd)

BEGIN_MESSAGE_MAP(CExButton, CButton)
    ON_WM_MOUSEMOVE()
    ON_WM_KILLFOCUS()
    ON_WM_SETFOCUS()
    ON_WM_SETCURSOR()
END_MESSAGE_MAP()

CExButton::~CExButton()
{
    if (m_hCursor)
        ::DestroyCursor(m_hCursor);
}

BOOL CExButton::AttachSkin(UINT id, CWnd* parent) { return SKIN.Attach(id, parent); }
BOOL CExButton::LoadSkinBitmaps(const char* f, const char* n, const char* d) { return SKIN.Load(f, n, d); }
BOOL CExButton::SizeToSkin() { return SKIN.SizeToSkin(); }
void CExButton::DrawItem(LPDRAWITEMSTRUCT dis) { SKIN.Draw(dis); }

void CExButton::OnMouseMove(UINT, CPoint point)
{
    SKIN.MouseMove(point);
    Default();
}

void CExButton::OnSetFocus(CWnd*)
{
    Default();
    SKIN.Focus(true);
}

void CExButton::OnKillFocus(CWnd*)
{
    Default();
    SKIN.Focus(false);
}

BOOL CExButton::OnSetCursor(CWnd*, UINT, UINT)
{
    if (m_hCursor) {
        ::SetCursor(m_hCursor);
        return TRUE;
    }
    return (BOOL)Default();
}

void CExButton::LoadHandCursor()
{
    if (m_hCursor)
        return;
    char path[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryA(path, MAX_PATH);
    if (n > 0 && n < MAX_PATH && lstrlenA(path) + lstrlenA("\\winhlp32.exe") < MAX_PATH) {
        lstrcatA(path, "\\winhlp32.exe");
        // Only its resources are wanted: map it as data, never run it.
        HMODULE module = ::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module) {
            HCURSOR hand = ::LoadCursorA(module, MAKEINTRESOURCEA(106));
            if (hand)
                m_hCursor = (HCURSOR)::CopyIcon((HICON)hand);
            ::FreeLibrary(module);
        }
    }
    // Where that module has no such cursor, the system's own hand serves.
    if (!m_hCursor) {
        HCURSOR hand = ::LoadCursorA(nullptr, (LPCSTR)IDC_HAND);
        if (hand)
            m_hCursor = (HCURSOR)::CopyIcon((HICON)hand);
    }
}

// -------------------------------------------------------------- NCExButton

IMPLEMENT_DYNAMIC(NCExButton, CWnd)

BEGIN_MESSAGE_MAP(NCExButton, CButton)
    ON_WM_MOUSEMOVE()
    ON_WM_KILLFOCUS()
    ON_WM_SETFOCUS()
END_MESSAGE_MAP()

BOOL NCExButton::AttachSkin(UINT id, CWnd* parent) { return SKIN.Attach(id, parent); }
BOOL NCExButton::LoadSkinBitmaps(const char* f, const char* n, const char* d) { return SKIN.Load(f, n, d); }
BOOL NCExButton::SizeToSkin() { return SKIN.SizeToSkin(); }
void NCExButton::DrawItem(LPDRAWITEMSTRUCT dis) { SKIN.Draw(dis); }

void NCExButton::OnMouseMove(UINT, CPoint point)
{
    SKIN.MouseMove(point);
    Default();
}

void NCExButton::OnSetFocus(CWnd*)
{
    Default();
    SKIN.Focus(true);
}

void NCExButton::OnKillFocus(CWnd*)
{
    Default();
    SKIN.Focus(false);
}
