#include "framework/framework.h"

#include <mbctype.h>

#include <cstdlib>
#include <vector>

namespace {

// The objects behind subclassed windows, found by handle for every message.
// Kept in the process: under Wine a window property or another process's
// window data is a request to the server, and the handle of a window of some
// other program (a focus or colour notification names one) must never be
// taken for an object. A program has a few dozen such windows at most.
struct AttachedWnd {
    HWND hwnd;
    CWnd* wnd;
};
// Plain storage, so that objects destroyed at exit still find it intact.
AttachedWnd* g_attached = nullptr;
size_t g_attachedCount = 0;
size_t g_attachedCapacity = 0;
size_t g_lastFound = 0; // most messages go to the window of the last one

CWnd* FindAttached(HWND hwnd)
{
    if (g_lastFound < g_attachedCount && g_attached[g_lastFound].hwnd == hwnd)
        return g_attached[g_lastFound].wnd;
    for (size_t i = 0; i < g_attachedCount; ++i) {
        if (g_attached[i].hwnd == hwnd) {
            g_lastFound = i;
            return g_attached[i].wnd;
        }
    }
    return nullptr;
}

bool Attach(HWND hwnd, CWnd* wnd)
{
    if (g_attachedCount == g_attachedCapacity) {
        const size_t capacity = g_attachedCapacity ? g_attachedCapacity * 2 : 32;
        auto* grown = static_cast<AttachedWnd*>(realloc(g_attached, capacity * sizeof(AttachedWnd)));
        if (!grown)
            return false;
        g_attached = grown;
        g_attachedCapacity = capacity;
    }
    g_attached[g_attachedCount++] = {hwnd, wnd};
    return true;
}

void Detach(HWND hwnd, const CWnd* wnd)
{
    for (size_t i = 0; i < g_attachedCount; ++i) {
        if (g_attached[i].hwnd == hwnd && g_attached[i].wnd == wnd) {
            g_attached[i] = g_attached[--g_attachedCount];
            return;
        }
    }
}

CWinApp* g_app = nullptr;

} // namespace

// ------------------------------------------------------------ run-time class

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == base)
            return true;
    return false;
}

const CRuntimeClass CWnd::classCWnd = {"CWnd", nullptr};

// ------------------------------------------------------------------ GDI

BOOL CGdiObject::Attach(HGDIOBJ h)
{
    DeleteObject();
    m_hObject = h;
    return h != nullptr;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

int CGdiObject::GetObject(int size, void* buffer) const
{
    if (!m_hObject)
        return 0;
    return ::GetObjectA(m_hObject, size, buffer);
}

BOOL CFont::CreateFontIndirect(const LOGFONTA* lf)
{
    return Attach(::CreateFontIndirectA(lf));
}

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight,
                       BYTE italic, BYTE underline, BYTE strikeOut, BYTE charSet,
                       BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                       BYTE pitchAndFamily, const char* faceName)
{
    return Attach(::CreateFontA(height, width, escapement, orientation, weight, italic,
                                underline, strikeOut, charSet, outPrecision, clipPrecision,
                                quality, pitchAndFamily, faceName));
}

BOOL CBitmap::LoadImageResource(const char* name)
{
    HANDLE h = ::LoadImageA(AfxGetResourceHandle(), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
    return Attach(h);
}

BOOL CBrush::CreateSolidBrush(COLORREF color)
{
    return Attach(::CreateSolidBrush(color));
}

// ------------------------------------------------------------------ DCs

CDC::~CDC()
{
    if (m_bOwn && m_hDC)
        ::DeleteDC(m_hDC);
}

BOOL CDC::CreateCompatibleDC(HDC hdc)
{
    HDC h = ::CreateCompatibleDC(hdc);
    if (!h)
        return FALSE;
    if (m_bOwn && m_hDC)
        ::DeleteDC(m_hDC);
    m_hDC = h;
    m_bOwn = true;
    return TRUE;
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    return CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    m_hDC = ::GetWindowDC(m_hWnd);
}

CWindowDC::~CWindowDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}

// ------------------------------------------------------------------ CWnd

CWnd::~CWnd()
{
    if (m_hWnd && m_pfnSuper)
        UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    return FindAttached(hwnd);
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (m_hWnd || !::IsWindow(hwnd) || FromHandlePermanent(hwnd))
        return FALSE;
    if (!Attach(hwnd, this))
        return FALSE;
    m_hWnd = hwnd;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent || !parent->m_hWnd)
        return FALSE;
    HWND h = ::GetDlgItem(parent->m_hWnd, (int)id);
    return h ? SubclassWindow(h) : FALSE;
}

HWND CWnd::UnsubclassWindow()
{
    HWND h = m_hWnd;
    if (!h)
        return nullptr;
    if (m_pfnSuper && reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(h, GWLP_WNDPROC)) == AfxWndProc)
        ::SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    Detach(h, this);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    return h;
}

std::string CWnd::GetWindowTextString() const
{
    int len = ::GetWindowTextLengthA(m_hWnd);
    if (len <= 0)
        return std::string();
    std::vector<char> buf(size_t(len) + 1, '\0');
    int n = ::GetWindowTextA(m_hWnd, buf.data(), len + 1);
    return std::string(buf.data(), n > 0 ? size_t(n) : 0);
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags)
{
    DWORD style = GetStyle();
    DWORD next = (style & ~remove) | add;
    if (next == style)
        return FALSE;
    ::SetWindowLongA(m_hWnd, GWL_STYLE, (LONG)next);
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

void CWnd::CenterWindow()
{
    HWND center = ::GetWindow(m_hWnd, GW_OWNER);
    if (center && (!::IsWindowVisible(center) || ::IsIconic(center)))
        center = nullptr;
    RECT work;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT area = work;
    if (center)
        ::GetWindowRect(center, &area);
    RECT me;
    ::GetWindowRect(m_hWnd, &me);
    int w = me.right - me.left, h = me.bottom - me.top;
    int x = (area.left + area.right) / 2 - w / 2;
    int y = (area.top + area.bottom) / 2 - h / 2;
    // Keep the whole box on the work area.
    if (x + w > work.right) x = work.right - w;
    if (x < work.left) x = work.left;
    if (y + h > work.bottom) y = work.bottom - h;
    if (y < work.top) y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

void CWnd::UpdateData()
{
    CDataExchange dx(this);
    DoDataExchange(&dx);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, msg, wp, lp);
    return ::DefWindowProcA(m_hWnd, msg, wp, lp);
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, AfxSig_end, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result)
{
    UINT key = msg;
    UINT ctlColor = 0;
    if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
        key = WM_CTLCOLOR;
        ctlColor = msg - WM_CTLCOLORMSGBOX;
    }
    // Commands are clicks, menu items and accelerators; other notification
    // codes are not commands.
    bool isCommand = msg == WM_COMMAND && HIWORD(wp) <= 1;

    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
            if (e->nMessage != key)
                continue;
            if (key == WM_COMMAND && (!isCommand || e->nID != LOWORD(wp)))
                continue;
            switch (e->nSig) {
            case AfxSig_vv:
                (this->*e->pfn)();
                *result = 0;
                break;
            case AfxSig_lwl:
                *result = (this->*reinterpret_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(e->pfn))(wp, lp);
                break;
            case AfxSig_timer:
                (this->*reinterpret_cast<void (CWnd::*)(UINT_PTR)>(e->pfn))((UINT_PTR)wp);
                *result = 0;
                break;
            case AfxSig_ctlcolor: {
                CDC dc;
                dc.Attach((HDC)wp);
                CWnd temp;
                CWnd* ctl = FromHandlePermanent((HWND)lp);
                if (!ctl) {
                    temp.m_hWnd = (HWND)lp;
                    ctl = &temp;
                }
                HBRUSH b = (this->*reinterpret_cast<HBRUSH (CWnd::*)(CDC*, CWnd*, UINT)>(e->pfn))(&dc, ctl, ctlColor);
                temp.m_hWnd = nullptr;
                *result = (LRESULT)b;
                break;
            }
            case AfxSig_mouse:
                (this->*reinterpret_cast<void (CWnd::*)(UINT, CPoint)>(e->pfn))((UINT)wp, CPoint(lp));
                *result = 0;
                break;
            case AfxSig_focus: {
                CWnd temp;
                CWnd* other = FromHandlePermanent((HWND)wp);
                if (!other && wp) {
                    temp.m_hWnd = (HWND)wp;
                    other = &temp;
                }
                (this->*reinterpret_cast<void (CWnd::*)(CWnd*)>(e->pfn))(other);
                temp.m_hWnd = nullptr;
                *result = 0;
                break;
            }
            case AfxSig_setcursor: {
                CWnd temp;
                CWnd* over = FromHandlePermanent((HWND)wp);
                if (!over) {
                    temp.m_hWnd = (HWND)wp;
                    over = &temp;
                }
                *result = (this->*reinterpret_cast<BOOL (CWnd::*)(CWnd*, UINT, UINT)>(e->pfn))(
                    over, LOWORD(lp), HIWORD(lp));
                temp.m_hWnd = nullptr;
                break;
            }
            default:
                continue;
            }
            return TRUE;
        }
    }

    // Owner-draw notifications go back to the control that is drawn.
    if (msg == WM_DRAWITEM && lp) {
        auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lp);
        if (dis->CtlType != ODT_MENU) {
            CWnd* child = FromHandlePermanent(dis->hwndItem);
            if (child && child != this && child->OnChildNotify(msg, wp, lp, result))
                return TRUE;
        }
    }
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result = 0;
    if (OnWndMsg(msg, wp, lp, &result))
        return result;
    return DefWindowProc(msg, wp, lp);
}

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (!wnd)
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    MSG saved = wnd->m_currentMsg;
    wnd->m_currentMsg.hwnd = hwnd;
    wnd->m_currentMsg.message = msg;
    wnd->m_currentMsg.wParam = wp;
    wnd->m_currentMsg.lParam = lp;
    LRESULT result = wnd->WindowProc(msg, wp, lp);
    wnd->m_currentMsg = saved;
    if (msg == WM_NCDESTROY && CWnd::FromHandlePermanent(hwnd) == wnd)
        wnd->UnsubclassWindow();
    return result;
}

// ----------------------------------------------------------------- dialogs

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (!control.m_hWnd)
        control.SubclassDlgItem((UINT)id, pDX->m_pDlgWnd);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal()
{
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner) {
        CWnd* main = AfxGetMainWnd();
        if (main && main != this && ::IsWindow(main->m_hWnd))
            owner = main->m_hWnd;
        else
            owner = ::GetActiveWindow();
    }
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                             DialogProc, reinterpret_cast<LPARAM>(this));
}

// Only WM_INITDIALOG is handled here: from then on the dialog's own window
// procedure is subclassed and every message goes through the message map,
// with the dialog manager as the default processing.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    auto* dlg = reinterpret_cast<CDialog*>(lp);
    if (!dlg || !dlg->SubclassWindow(hwnd))
        return TRUE;
    RECT before;
    ::GetWindowRect(hwnd, &before);
    DWORD styleBefore = dlg->GetStyle();
    MSG saved = dlg->m_currentMsg;
    dlg->m_currentMsg.hwnd = hwnd;
    dlg->m_currentMsg.message = msg;
    dlg->m_currentMsg.wParam = wp;
    dlg->m_currentMsg.lParam = lp;
    BOOL focusDefault = dlg->OnInitDialog();
    dlg->m_currentMsg = saved;
    // A dialog that stayed hidden at its template position is centred.
    if (!(styleBefore & WS_VISIBLE) && !(dlg->GetStyle() & (WS_VISIBLE | WS_CHILD))) {
        RECT after;
        ::GetWindowRect(hwnd, &after);
        if (after.left == before.left && after.top == before.top)
            dlg->CenterWindow();
    }
    return focusDefault;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData();
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

// ----------------------------------------------------------------- controls

BOOL CButton::OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT* result)
{
    if (msg != WM_DRAWITEM)
        return FALSE;
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
    *result = TRUE;
    return TRUE;
}

int CListBox::GetText(int i, char* buf, int size) const
{
    if (!buf || size <= 0)
        return -1;
    buf[0] = '\0';
    int len = GetTextLen(i);
    if (len == LB_ERR)
        return -1;
    std::vector<char> full(size_t(len) + 1, '\0');
    if (::SendMessageA(m_hWnd, LB_GETTEXT, (WPARAM)i, (LPARAM)full.data()) == LB_ERR)
        return -1;
    lstrcpynA(buf, full.data(), size);
    return (int)lstrlenA(buf);
}

// -------------------------------------------------------------- application

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetResourceHandle()
{
    if (g_app && g_app->m_hInstance)
        return g_app->m_hInstance;
    return ::GetModuleHandleA(nullptr);
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    _setmbcp(_MB_CP_ANSI);
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    // The modal main dialog runs inside InitInstance: there is no message
    // loop of the application's own.
    app->InitInstance();
    return app->ExitInstance();
}
