// The program's own small dialog framework: an application object, window
// wrappers with message maps, modal dialogs from template resources, data
// exchange by subclassing, owner-draw reflection, a few controls and GDI
// wrappers that release what they own. Single user-interface thread.
//
// How a dialog declares its message map:
//
//   class CMyDlg : public CDialog {
//   public:
//       CMyDlg() : CDialog(IDD_MY_DIALOG) {}
//   protected:
//       void DoDataExchange(CDataExchange* pDX) override
//       { CDialog::DoDataExchange(pDX); DDX_Control(pDX, 1052, m_btnScan); }
//       BOOL OnInitDialog() override;
//       void OnScan();
//       LRESULT OnStatusReport(WPARAM, LPARAM);
//       HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
//       void OnPaint();
//       CButton m_btnScan;
//       DECLARE_MESSAGE_MAP()
//   };
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//       ON_MESSAGE(WM_APP + 1, OnStatusReport)
//       ON_WM_PAINT()
//       ON_COMMAND(1052, OnScan)
//       ON_WM_CTLCOLOR()
//   END_MESSAGE_MAP()
//
// Entries are tried in declared order, then the base class's map; a message
// nobody handles gets the window's default processing. Inside a handler,
// Default() gives the current message its default processing. IDOK and
// IDCANCEL reach the virtual OnOK / OnCancel through CDialog's own map.
#pragma once
#include <windows.h>

#include <string>

class CWnd;
class CDC;
class CDataExchange;

// ---------------------------------------------------------------- geometry

struct CPoint : POINT {
    explicit CPoint(LPARAM lp) { x = (short)LOWORD(lp); y = (short)HIWORD(lp); }
};

struct CRect : RECT {
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool PtInRect(POINT p) const { return ::PtInRect(this, p) != FALSE; }
};

// ---------------------------------------------------------- run-time class

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(cls) (&cls::class##cls)
#define DECLARE_DYNAMIC(cls)                                   \
public:                                                        \
    static const CRuntimeClass class##cls;                     \
    const CRuntimeClass* GetRuntimeClass() const override;
#define IMPLEMENT_DYNAMIC(cls, base)                           \
    const CRuntimeClass cls::class##cls = {#cls, RUNTIME_CLASS(base)}; \
    const CRuntimeClass* cls::GetRuntimeClass() const { return &cls::class##cls; }

// ------------------------------------------------------------- message map

typedef void (CWnd::*AFX_PMSG)();

enum AfxSig {
    AfxSig_end = 0,
    AfxSig_vv,        // void ()                      commands, WM_PAINT
    AfxSig_lwl,       // LRESULT (WPARAM, LPARAM)     ON_MESSAGE
    AfxSig_timer,     // void (UINT_PTR nIDEvent)
    AfxSig_ctlcolor,  // HBRUSH (CDC*, CWnd*, UINT nCtlColor)
    AfxSig_mouse,     // void (UINT nFlags, CPoint point)
    AfxSig_focus,     // void (CWnd* pOtherWnd)
    AfxSig_setcursor, // BOOL (CWnd* pWnd, UINT nHitTest, UINT message)
};

// WM_CTLCOLORMSGBOX..WM_CTLCOLORSTATIC arrive as one entry; nCtlColor is
// the offset from WM_CTLCOLORMSGBOX (CTLCOLOR_DLG 4, CTLCOLOR_STATIC 6).
#define WM_CTLCOLOR 0x0019

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nID;   // command id for WM_COMMAND, else 0
    int nSig;
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                  \
protected:                                                     \
    static const AFX_MSGMAP* GetThisMessageMap();              \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                 \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()            \
    {                                                          \
        typedef theClass ThisClass;                            \
        typedef baseClass TheBaseClass;                        \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                      \
            {0, 0, AfxSig_end, nullptr}};                      \
        static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                           \
    }

#define AFX_FN(type, fn) reinterpret_cast<AFX_PMSG>(static_cast<type>(&ThisClass::fn))

#define ON_COMMAND(id, fn)   {WM_COMMAND, (UINT)(id), AfxSig_vv, AFX_FN(void (CWnd::*)(), fn)},
#define ON_MESSAGE(msg, fn)  {(UINT)(msg), 0, AfxSig_lwl, AFX_FN(LRESULT (CWnd::*)(WPARAM, LPARAM), fn)},
#define ON_WM_PAINT()        {WM_PAINT, 0, AfxSig_vv, AFX_FN(void (CWnd::*)(), OnPaint)},
#define ON_WM_TIMER()        {WM_TIMER, 0, AfxSig_timer, AFX_FN(void (CWnd::*)(UINT_PTR), OnTimer)},
#define ON_WM_CTLCOLOR()     {WM_CTLCOLOR, 0, AfxSig_ctlcolor, AFX_FN(HBRUSH (CWnd::*)(CDC*, CWnd*, UINT), OnCtlColor)},
#define ON_WM_MOUSEMOVE()    {WM_MOUSEMOVE, 0, AfxSig_mouse, AFX_FN(void (CWnd::*)(UINT, CPoint), OnMouseMove)},
#define ON_WM_LBUTTONDOWN()  {WM_LBUTTONDOWN, 0, AfxSig_mouse, AFX_FN(void (CWnd::*)(UINT, CPoint), OnLButtonDown)},
#define ON_WM_SETFOCUS()     {WM_SETFOCUS, 0, AfxSig_focus, AFX_FN(void (CWnd::*)(CWnd*), OnSetFocus)},
#define ON_WM_KILLFOCUS()    {WM_KILLFOCUS, 0, AfxSig_focus, AFX_FN(void (CWnd::*)(CWnd*), OnKillFocus)},
#define ON_WM_SETCURSOR()    {WM_SETCURSOR, 0, AfxSig_setcursor, AFX_FN(BOOL (CWnd::*)(CWnd*, UINT, UINT), OnSetCursor)},

// ------------------------------------------------------------ GDI objects

// Owns its handle: deleted when the object goes or is reused.
class CGdiObject {
public:
    CGdiObject() = default;
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    BOOL Attach(HGDIOBJ h);          // deletes what it held first
    BOOL DeleteObject();
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    int GetObject(int size, void* buffer) const;
    HGDIOBJ m_hObject = nullptr;
};

class CFont : public CGdiObject {
public:
    BOOL CreateFontIndirect(const LOGFONTA* lf);
    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight,
                    BYTE italic, BYTE underline, BYTE strikeOut, BYTE charSet,
                    BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                    BYTE pitchAndFamily, const char* faceName);
    operator HFONT() const { return (HFONT)m_hObject; }
};

class CBitmap : public CGdiObject {
public:
    // LoadImage(IMAGE_BITMAP, default size, LR_LOADMAP3DCOLORS) from the
    // application's resources; names match without regard to case.
    BOOL LoadImageResource(const char* name);
    BOOL LoadImageResource(UINT id) { return LoadImageResource(MAKEINTRESOURCEA(id)); }
    int GetBitmap(BITMAP* bm) const { return GetObject(sizeof(BITMAP), bm); }
    operator HBITMAP() const { return (HBITMAP)m_hObject; }
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    BOOL CreateSolidBrush(COLORREF color);
    operator HBRUSH() const { return (HBRUSH)m_hObject; }
};

// ------------------------------------------------------------ device contexts

// A device context. Memory DCs made with CreateCompatibleDC are deleted by the
// object; Attach wraps a DC it does not own.
class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    BOOL CreateCompatibleDC(CDC* pDC);        // nullptr: compatible with the screen
    BOOL CreateCompatibleDC(HDC hdc);
    void Attach(HDC hdc) { m_hDC = hdc; m_bOwn = false; }
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    HGDIOBJ SelectObject(HGDIOBJ obj) { return ::SelectObject(m_hDC, obj); }
    HGDIOBJ SelectObject(CGdiObject* obj) { return ::SelectObject(m_hDC, obj ? obj->m_hObject : nullptr); }
    BOOL BitBlt(int x, int y, int w, int h, CDC* src, int xSrc, int ySrc, DWORD rop)
    { return ::BitBlt(m_hDC, x, y, w, h, src ? src->m_hDC : nullptr, xSrc, ySrc, rop); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
    COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
    int DrawText(const char* text, int count, LPRECT rect, UINT format)
    { return ::DrawTextA(m_hDC, text, count, rect, format); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }

    HDC m_hDC = nullptr;
protected:
    bool m_bOwn = false;
};

// Puts the displaced object back when it goes.
class CSelectGuard {
public:
    CSelectGuard(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~CSelectGuard() { if (m_old) ::SelectObject(m_dc, m_old); }
    CSelectGuard(const CSelectGuard&) = delete;
    CSelectGuard& operator=(const CSelectGuard&) = delete;
    bool Selected() const { return m_old != nullptr; }
private:
    HDC m_dc;
    HGDIOBJ m_old;
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};
private:
    HWND m_hWnd;
};

class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);     // nullptr: the screen
    ~CClientDC() override;
private:
    HWND m_hWnd;
};

class CWindowDC : public CDC {
public:
    explicit CWindowDC(CWnd* wnd);     // nullptr: the screen
    ~CWindowDC() override;
private:
    HWND m_hWnd;
};

// ------------------------------------------------------------------ windows

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    static const CRuntimeClass classCWnd;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &classCWnd; }
    bool IsKindOf(const CRuntimeClass* c) const { return GetRuntimeClass()->IsDerivedFrom(c); }

    // The object that owns hwnd's window procedure, or nullptr.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Routes hwnd's messages through this object (message map first).
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Window operations (thin wrappers).
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    std::string GetWindowTextString() const;
    void MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
    BOOL SetWindowPos(HWND after, int x, int y, int w, int h, UINT flags)
    { return ::SetWindowPos(m_hWnd, after, x, y, w, h, flags); }
    void GetWindowRect(LPRECT r) const { ::GetWindowRect(m_hWnd, r); }
    void GetClientRect(LPRECT r) const { ::GetClientRect(m_hWnd, r); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return ::SendMessageA(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return ::PostMessageA(m_hWnd, msg, wp, lp); }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms, TIMERPROC proc = nullptr) { return ::SetTimer(m_hWnd, id, ms, proc); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    HWND SetCapture() { return ::SetCapture(m_hWnd); }
    void SetFont(CFont* font, BOOL redraw = TRUE)
    { SendMessage(WM_SETFONT, (WPARAM)(font ? (HFONT)*font : nullptr), redraw); }
    HFONT GetFont() const { return (HFONT)::SendMessageA(m_hWnd, WM_GETFONT, 0, 0); }
    DWORD GetStyle() const { return (DWORD)::GetWindowLongA(m_hWnd, GWL_STYLE); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    HICON SetIcon(HICON icon, BOOL big) { return (HICON)SendMessage(WM_SETICON, big, (LPARAM)icon); }
    int SetWindowRgn(HRGN rgn, BOOL redraw) { return ::SetWindowRgn(m_hWnd, rgn, redraw); }
    // Centres over the owner, else on the work area.
    void CenterWindow();
    BOOL DestroyWindow();

    // Default processing of the message being handled.
    LRESULT Default();

    // Message handlers that a map may name; these give default processing.
    void OnPaint() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return (HBRUSH)Default(); }
    void OnMouseMove(UINT, CPoint) { Default(); }
    void OnLButtonDown(UINT, CPoint) { Default(); }
    void OnSetFocus(CWnd*) { Default(); }
    void OnKillFocus(CWnd*) { Default(); }
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return (BOOL)Default(); }

    virtual void DoDataExchange(CDataExchange*) {}
    // Binds the controls to their members; nothing is ever read back, and a
    // control that cannot be bound stays unbound.
    void UpdateData();

    HWND m_hWnd = nullptr;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    virtual LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);
    // A notification the parent passes back to the control (WM_DRAWITEM).
    virtual BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
    BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

    WNDPROC m_pfnSuper = nullptr;
    MSG m_currentMsg{};

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend class CDialog;
};

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// --------------------------------------------------------------- dialogs

class CDataExchange {
public:
    explicit CDataExchange(CWnd* dlg) : m_pDlgWnd(dlg) {}
    CWnd* m_pDlgWnd;
};

// Binds control to the dialog's child id by subclassing (once).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr)
        : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

    // Runs the dialog modally; returns the EndDialog result, -1 if the
    // dialog could not be created. Without a parent the application's main
    // window (else the thread's active window) is the owner and is disabled
    // meanwhile. Centres the dialog afterwards when OnInitDialog left it
    // hidden and at the template's position.
    virtual INT_PTR DoModal();
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }

    virtual BOOL OnInitDialog();   // runs DoDataExchange; returns TRUE
    virtual void OnOK();           // EndDialog(IDOK)
    virtual void OnCancel();       // EndDialog(IDCANCEL)

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

protected:
    DECLARE_MESSAGE_MAP()
private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
};

// --------------------------------------------------------------- controls

class CButton : public CWnd {
public:
    // Owner-drawn buttons: the parent's WM_DRAWITEM arrives here.
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
protected:
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
};

class CStatic : public CWnd {
};

class CListBox : public CWnd {
public:
    int AddString(const char* s) { return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)s); }
    int GetCount() const { return (int)::SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int SetCurSel(int i) { return (int)SendMessage(LB_SETCURSEL, (WPARAM)i); }
    int GetCurSel() const { return (int)::SendMessageA(m_hWnd, LB_GETCURSEL, 0, 0); }
    int GetTextLen(int i) const { return (int)::SendMessageA(m_hWnd, LB_GETTEXTLEN, (WPARAM)i, 0); }
    // Copies line i into buf (at most size bytes, terminated); -1 on failure.
    int GetText(int i, char* buf, int size) const;
    int GetHorizontalExtent() const { return (int)::SendMessageA(m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0); }
    void SetHorizontalExtent(int cx) { SendMessage(LB_SETHORIZONTALEXTENT, (WPARAM)cx); }
};

// ------------------------------------------------------------ application

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The application's module (the running program's before AfxWinMain).
HINSTANCE AfxGetResourceHandle();
// Sets the multibyte code page to the system ANSI code page, runs the
// application's InitInstance, then ends with ExitInstance's code.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR cmdLine, int show);
