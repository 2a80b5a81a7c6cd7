#include "ui/message_dlg.h"

#include "res/resource.h"
#include "scan/product.h"
#include "ui/show_message.h"
#include "ui/ui_globals.h"
#include "ui/work_area.h"

namespace {


// Window rectangle of a control; see OnInitDialog for why screen
// coordinates serve as positions inside the box.
CRect WindowRectOf(const CWnd& w)
{
    CRect r;
    w.GetWindowRect(&r);
    return r;
}

} // namespace

BEGIN_MESSAGE_MAP(CMessageDlg, CDialog)
    ON_COMMAND(IDYES, OnYes)
    ON_WM_PAINT()
    ON_COMMAND(IDNO, OnNo)
    ON_COMMAND(IDC_MSG_OK_ONLY, OnOkOnly)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CMessageDlg::CMessageDlg(CWnd* parent)
    : CDialog(IDD_MESSAGE_DIALOG, parent), m_nIconId(IDB_ICON_WARNING),
      m_strCaption("Lumvex Ver 7.5"), m_brBackground(kBackground)
{
}

void CMessageDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MSG_ICON, m_stcIcon);
    DDX_Control(pDX, IDYES, m_btnYes);
    DDX_Control(pDX, IDOK, m_btnOk);
    DDX_Control(pDX, IDNO, m_btnNo);
    DDX_Control(pDX, IDC_MSG_OK_ONLY, m_btnOkOnly);
    DDX_Control(pDX, IDCANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_MSG_TEXT, m_stcText);
}

BOOL CMessageDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // Room for the text: about 30 bytes a line, 10 pixels a line.
    const int n = int(m_strText.size());
    const int lines = n / 30 + 1;
    const int a = 10 * lines;
    const int extraW = int(a * 1.25);
    const int extraH = a - extraW / 4;

    // From here on the box sits at the screen origin, so window rectangles
    // in screen coordinates are used as positions inside it; the constants
    // 25, 30 and 65 absorb the caption and the border.
    CRect box = WindowRectOf(*this);
    MoveWindow(0, 0, box.Width() + extraW, box.Height() + extraH, TRUE);
    box = WindowRectOf(*this);
    const int buttonTop = box.bottom - 65;

    CRect text = WindowRectOf(m_stcText);
    int textHeight = text.Height() + extraH + (g_largeFonts ? 25 : 0);
    m_stcText.MoveWindow(text.left, text.top - 25, text.Width() + extraW, textHeight, TRUE);
    const int iconTop = text.top - 30;

    // One row of buttons, kept centred as the box widens.
    NCExButton* row[] = {&m_btnOkOnly, &m_btnOk, &m_btnCancel, &m_btnYes, &m_btnNo};
    for (NCExButton* b : row) {
        CRect r = WindowRectOf(*b);
        b->MoveWindow(r.left + extraW / 2, buttonTop, r.Width(), r.Height(), TRUE);
    }

    m_btnOkOnly.ShowWindow(m_bOkOnly ? SW_SHOW : SW_HIDE);
    m_btnOk.ShowWindow(m_bOkCancel ? SW_SHOW : SW_HIDE);
    m_btnCancel.ShowWindow(m_bOkCancel ? SW_SHOW : SW_HIDE);
    m_btnYes.ShowWindow(m_bYesNo ? SW_SHOW : SW_HIDE);
    m_btnNo.ShowWindow(m_bYesNo ? SW_SHOW : SW_HIDE);

    m_btnOk.AttachSkin(IDOK, this);
    m_btnOkOnly.AttachSkin(IDC_MSG_OK_ONLY, this);
    m_btnCancel.AttachSkin(IDCANCEL, this);
    m_btnYes.AttachSkin(IDYES, this);
    m_btnNo.AttachSkin(IDNO, this);

    if (a > 30) { // texts of 90 bytes or more
        CRect icon = WindowRectOf(m_stcIcon);
        m_stcIcon.MoveWindow(icon.left, iconTop, icon.Width(), icon.Height(), TRUE);
    }

    m_stcText.SetWindowText(m_strText.c_str());
    SetWindowText(m_strCaption.empty() ? kProductCaption : m_strCaption.c_str());
    if (g_mainDlg)
        CentreOverMain();
    return TRUE;
}

// Over the main dialog, kept on the monitor that holds it (a question on a
// second monitor stays there); over that work area where the main dialog is
// hidden or minimised.
void CMessageDlg::CentreOverMain()
{
    HWND main = g_mainDlg->GetSafeHwnd();
    const RECT area = WorkAreaOfWindow(main);
    RECT over = area;
    if (main && ::IsWindowVisible(main) && !::IsIconic(main))
        ::GetWindowRect(main, &over);
    CRect me = WindowRectOf(*this);
    const POINT at = CentredPosition(over, me.Width(), me.Height(), area);
    SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMessageDlg::OnOK()
{
    EndDialog(IDOK);
}

void CMessageDlg::OnCancel()
{
    EndDialog(m_bYesNo ? IDNO : IDCANCEL);
}

void CMessageDlg::OnYes()
{
    EndDialog(IDYES);
}

void CMessageDlg::OnNo()
{
    EndDialog(IDNO);
}

void CMessageDlg::OnOkOnly()
{
    EndDialog(IDOK);
}

// The icon is loaded afresh at every paint and drawn into the icon frame.
void CMessageDlg::OnPaint()
{
    CPaintDC dc(this);
    CBitmap icon;
    if (!icon.LoadImageResource(UINT(m_nIconId)))
        return;
    CClientDC frameDC(&m_stcIcon);
    if (!frameDC.GetSafeHdc())
        return;
    CRect frame;
    m_stcIcon.GetClientRect(&frame);
    CDC mem;
    if (!mem.CreateCompatibleDC(&frameDC))
        return;
    CSelectGuard select(mem, icon.GetSafeHandle());
    frameDC.BitBlt(frame.left, frame.top, frame.right, frame.bottom, &mem, 0, 0, SRCCOPY);
}

HBRUSH CMessageDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    HBRUSH base = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    pDC->SetBkMode(TRANSPARENT);
    if (nCtlColor == CTLCOLOR_DLG || nCtlColor == CTLCOLOR_STATIC)
        return m_brBackground;
    return base;
}

int ShowMessage(const char* text, const char* caption, unsigned int flags)
{
    CMessageDlg dlg;
    dlg.m_strText = text ? text : "";
    dlg.m_strCaption = caption ? caption : "";
    if (flags & MB_OKCANCEL)
        dlg.m_bOkCancel = true;
    else if (flags & MB_YESNO)
        dlg.m_bYesNo = true;
    else
        dlg.m_bOkOnly = true;
    if ((flags & MB_ICONWARNING) == MB_ICONWARNING)
        dlg.m_nIconId = IDB_ICON_WARNING;
    else if (flags & MB_ICONINFORMATION)
        dlg.m_nIconId = IDB_ICON_INFORMATION;
    else if (flags & MB_ICONQUESTION)
        dlg.m_nIconId = IDB_ICON_QUESTION;
    else if (flags & MB_ICONERROR)
        dlg.m_nIconId = IDB_ICON_ERROR;
    INT_PTR result = dlg.DoModal();
    return result > 0 ? int(result) : -1;
}
