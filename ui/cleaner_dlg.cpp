#include "ui/cleaner_dlg.h"

#include "detect/text.h"
#include "scan/product.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "scan/engine.h"
#include "scan/scan_state.h"
#include "res/resource.h"
#include "ui/dialog_front_end.h"
#include "ui/scan_messages.h"
#include "ui/show_message.h"
#include "ui/skin_shape.h"
#include "ui/ui_globals.h"
#include "ui/work_area.h"

const char kDownloadPageUrl[] = "http://www.tessaro.example/download/downloadnow.htm";
const char kUtilityPageUrl[] = "http://www.tessaro.example/download/utility.htm";

namespace {

const char kFamilyName[] = "W32/Vexmor";
const char kSuiteKey[] = "Software\\Tessaro\\Ardentis 2000";
const char kSuiteValue[] = "Installed Folder";

// Lines of the result list before it starts afresh (until the statistics).
constexpr int kListResetLines = 150;
// Widest line, in pixels, that still needs no horizontal scrolling.
constexpr int kExtentThreshold = 560;
// The layout of template 141 is stretched to this client size, and the
// window then takes this size (its skin shows the top-left 527 x 338).
constexpr int kReferenceWidth = 600;
constexpr int kReferenceHeight = 337;
constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 462;
constexpr COLORREF kSkinKey = RGB(255, 0, 255);

void OpenPage(const char* url)
{
    char address[512];
    CopyText(address, sizeof address, url);
    ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

bool IsSuiteInstalled()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    bool ok = RegQueryValueExA(key, kSuiteValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
        // The folder itself is not used; a value too long for the buffer is
        // still an installed suite.
        BYTE folder[300] = {};
        DWORD room = sizeof folder - 1;
        LONG rc = RegQueryValueExA(key, kSuiteValue, nullptr, &type, folder, &room);
        ok = rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
    }
    if (RegCloseKey(key) != ERROR_SUCCESS)
        ok = false;
    return ok;
}

BEGIN_MESSAGE_MAP(CCleanerDlg, CDialog)
    ON_MESSAGE(kStatusMessage, OnStatusReport)
    ON_MESSAGE(kResultLineMessage, OnResultReport)
    ON_WM_TIMER()
    ON_WM_PAINT()
    ON_COMMAND(IDC_SCAN, OnScan)
    ON_COMMAND(IDC_CLOSE_X, OnStop)
    ON_COMMAND(IDC_DOWNLOAD, OnDownload)
    ON_WM_CTLCOLOR()
    ON_WM_LBUTTONDOWN()
    ON_COMMAND(IDC_OK_BUTTON, OnOkButton)
    ON_COMMAND(IDC_DOWNLOAD_LINK, OnDownload)
    ON_COMMAND(IDC_UTILITY_LINK, OnUtilityLink)
END_MESSAGE_MAP()

CCleanerDlg::CCleanerDlg(CWnd* parent) : CDialog(IDD_SCOURIX_DIALOG, parent)
{
    m_hIcon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CCleanerDlg::~CCleanerDlg()
{
    if (m_hSkinDC) {
        if (m_hOldBitmap)
            SelectObject(m_hSkinDC, m_hOldBitmap);
        DeleteDC(m_hSkinDC);
    }
    if (m_hSkinBitmap)
        DeleteObject(m_hSkinBitmap);
    if (g_mainDlg == this)
        g_mainDlg = nullptr;
}

void CCleanerDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GROUP_RESULTS, m_grpResults);
    DDX_Control(pDX, IDC_LOGO, m_btnLogo);
    DDX_Control(pDX, IDC_UTILITY_LINK, m_btnUtilityLink);
    DDX_Control(pDX, IDC_DOWNLOAD_LINK, m_btnDownloadLink);
    DDX_Control(pDX, IDC_SEARCHING, m_stcSearching);
    DDX_Control(pDX, IDC_SUITE, m_stcSuite);
    DDX_Control(pDX, IDC_TITLE, m_stcTitle);
    DDX_Control(pDX, IDC_NOTICE, m_stcNotice);
    DDX_Control(pDX, IDC_FAMILY, m_stcFamily);
    DDX_Control(pDX, IDCANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_GROUP_STATUS, m_grpStatus);
    DDX_Control(pDX, IDC_STATUS, m_stcStatus);
    DDX_Control(pDX, IDC_RESULTS, m_lstResults);
    DDX_Control(pDX, IDC_CLOSE_X, m_btnClose);
    DDX_Control(pDX, IDC_DOWNLOAD, m_btnDownload);
    DDX_Control(pDX, IDC_SCAN, m_btnScan);
    DDX_Control(pDX, IDC_OK_BUTTON, m_btnOk);
}

void CCleanerDlg::CreateLabelFont()
{
    HFONT base = GetFont();
    if (!base)
        base = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    LOGFONTA lf = {};
    if (!::GetObjectA(base, sizeof lf, &lf))
        return;
    lf.lfHeight = 15;
    lf.lfWeight = FW_BOLD;
    lf.lfUnderline = FALSE;
    lf.lfItalic = FALSE;
    g_labelFont.CreateFontIndirect(&lf);
}

BOOL CCleanerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    m_stcStatus.ShowWindow(SW_HIDE);
    m_grpStatus.ShowWindow(SW_HIDE);
    m_stcSearching.ShowWindow(SW_HIDE);
    m_lstResults.ShowWindow(SW_HIDE);
    m_grpResults.ShowWindow(SW_HIDE);
    m_btnCancel.ShowWindow(SW_HIDE);
    m_btnOk.EnableWindow(FALSE);
    m_btnOk.ShowWindow(SW_HIDE);

    g_mainDlg = this;
    CreateLabelFont();

    char text[260];
    snprintf(text, sizeof text, "%s - Tool to detect and remove all the variants of %s Trojan", kProductCaption,
             kFamilyName);
    m_stcTitle.SetWindowText(text);
    snprintf(text, sizeof text, "for %s", kFamilyName);
    AppendText(text, sizeof text, " Trojan");
    m_stcFamily.SetWindowText(text);
    m_stcNotice.SetWindowText("Copyright (C) 2009 Tessaro. All rights reserved.");
    m_stcSuite.SetWindowText("This program is a part of Ardentis antivirus software.");

    {
        CWindowDC dc(this);
        g_largeFonts = dc.GetDeviceCaps(LOGPIXELSX) >= 120;
    }

    // Scaling works on screen rectangles, so it must scale about the
    // dialog's own corner: the dialog manager may have placed the dialog
    // inside a work area that does not start at the screen's origin.
    SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ScaleChildControls(m_hWnd, kReferenceWidth, kReferenceHeight, FALSE);
    MoveWindow(0, 0, kWindowWidth, kWindowHeight, TRUE);

    if (IsSuiteInstalled()) {
        m_btnDownloadLink.EnableWindow(FALSE);
        m_btnDownloadLink.ShowWindow(SW_HIDE);
        m_btnDownload.EnableWindow(FALSE);
    } else {
        m_stcSuite.ShowWindow(SW_HIDE);
    }

    g_whiteBrush.CreateSolidBrush(RGB(255, 255, 255));

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    ModifyStyle(0, WS_MINIMIZEBOX | WS_SYSMENU);

    m_hSkinBitmap = static_cast<HBITMAP>(
        LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDB_SKIN), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    if (m_hSkinBitmap) {
        HRGN rgn = BuildRegionFromBitmap(m_hSkinBitmap, kSkinKey, 1);
        if (rgn) {
            m_hSkinRgn = rgn;
            SetWindowRgn(m_hSkinRgn, TRUE); // the window owns it from here
        }
        ::GetObjectA(m_hSkinBitmap, sizeof m_bmSkin, &m_bmSkin);
    }
    m_hSkinDC = CreateCompatibleDC(nullptr);
    if (m_hSkinDC && m_hSkinBitmap)
        m_hOldBitmap = SelectObject(m_hSkinDC, m_hSkinBitmap);

    m_btnOk.AttachSkin(IDC_OK_BUTTON, this);
    m_btnCancel.AttachSkin(IDCANCEL, this);
    m_btnScan.AttachSkin(IDC_SCAN, this);
    m_btnDownload.AttachSkin(IDC_DOWNLOAD, this);
    m_btnClose.AttachSkin(IDC_CLOSE_X, this);
    m_btnUtilityLink.AttachSkin(IDC_UTILITY_LINK, this);
    m_btnDownloadLink.AttachSkin(IDC_DOWNLOAD_LINK, this);
    m_btnLogo.AttachSkin(IDC_LOGO, this);

    SetWindowText(kProductCaption);

    m_btnScan.LoadHandCursor();
    m_btnClose.LoadHandCursor();
    m_btnDownload.LoadHandCursor();
    m_btnOk.LoadHandCursor();
    m_btnCancel.LoadHandCursor();
    m_btnDownloadLink.LoadHandCursor();
    m_btnUtilityLink.LoadHandCursor();

    // Moved above, so the framework would no longer centre it.
    RECT me;
    GetWindowRect(&me);
    const RECT area = WorkAreaOfWindow(m_hWnd);
    const POINT at = CentredPosition(area, me.right - me.left, me.bottom - me.top, area);
    SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

void CCleanerDlg::OnOK()
{
}

void CCleanerDlg::OnOkButton()
{
    CDialog::OnOK();
}

void CCleanerDlg::OnCancel()
{
    AskToStop(kProductCaption);
}

void CCleanerDlg::OnStop()
{
    AskToStop("DialogBoxTitle");
}

void CCleanerDlg::AskToStop(const char* caption)
{
    if (!ScanState.scanRunning) {
        CDialog::OnCancel();
        return;
    }
    // The question's own message loop would dispatch the scan's first tick
    // and run the whole scan nested under it, so that tick waits for the
    // answer; a Yes then ends the scan as soon as it starts.
    const bool armed = m_bScanArmed;
    if (armed) {
        KillTimer(ScanTimerId);
        m_bScanArmed = false;
    }
    // The label names the entry the scan stopped at.
    DialogFrontEnd().statusSettled();
    const int answer = ShowMessage("Terminate the Scan now?", caption, MB_YESNO | MB_ICONQUESTION);
    if (armed) {
        m_bScanArmed = true;
        SetTimer(ScanTimerId, 100);
    }
    if (answer != IDYES)
        return;
    m_btnCancel.ShowWindow(SW_HIDE);
    m_btnOk.ShowWindow(SW_SHOW);
    ScanState.stopRequested = 1;
}

void CCleanerDlg::OnScan()
{
    ScanState.scanRunning = 1;

    m_btnScan.EnableWindow(FALSE);
    m_btnUtilityLink.EnableWindow(FALSE);
    m_btnUtilityLink.ShowWindow(SW_HIDE);
    m_btnDownloadLink.EnableWindow(FALSE);
    m_btnDownloadLink.ShowWindow(SW_HIDE);
    m_btnCancel.EnableWindow(TRUE);
    m_btnCancel.ShowWindow(SW_SHOW);
    m_btnOk.EnableWindow(TRUE);

    m_stcTitle.ShowWindow(SW_HIDE);
    m_stcSuite.ShowWindow(SW_HIDE);
    m_stcNotice.ShowWindow(SW_HIDE);
    m_stcSearching.ShowWindow(SW_SHOW);
    m_lstResults.ShowWindow(SW_SHOW);
    m_stcStatus.ShowWindow(SW_SHOW);
    m_grpStatus.ShowWindow(SW_SHOW);
    m_grpResults.ShowWindow(SW_SHOW);

    m_grpStatus.SetWindowText("Scanning");

    char heading[260];
    snprintf(heading, sizeof heading, "Searching for %s Trojan and its variants", kFamilyName);
    m_stcSearching.SetWindowText(heading);
    if (!m_fontSearching.GetSafeHandle())
        m_fontSearching.CreateFont(15, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, FF_SWISS, "Arial");
    m_stcSearching.SetFont(&m_fontSearching, TRUE);

    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, "!:");
    ScanState.mainWindow = m_hWnd;
    ActionMode = kActionDelete;

    // The scan starts from the timer, once this click has returned to the
    // message loop. A stop confirmed from here on belongs to this scan.
    ScanState.stopRequested = 0;
    m_bScanArmed = true;
    SetTimer(ScanTimerId, 100);
}

void CCleanerDlg::OnTimer(UINT_PTR)
{
    Default();
    KillTimer(ScanTimerId);
    // A tick queued before the timer was killed starts nothing.
    if (!m_bScanArmed)
        return;
    m_bScanArmed = false;

    RunDialogScan();

    m_btnCancel.ShowWindow(SW_HIDE);
    m_btnOk.ShowWindow(SW_SHOW);
    m_stcSearching.ShowWindow(SW_HIDE);
    m_grpStatus.SetWindowText("");
    ScanState.scanRunning = 0;
}

LRESULT CCleanerDlg::OnStatusReport(WPARAM, LPARAM lParam)
{
    m_stcStatus.SetWindowText(MessageText(lParam));
    return 0;
}

LRESULT CCleanerDlg::OnResultReport(WPARAM, LPARAM lParam)
{
    // Until the statistics begin the list starts afresh when full, so the
    // closing block is never cut off.
    if (m_lstResults.GetCount() >= kListResetLines && !ScanState.summaryStarted)
        m_lstResults.ResetContent();
    m_lstResults.AddString(MessageText(lParam));
    int n = m_lstResults.GetCount();
    // The first two lines stay unselected (index n selects nothing).
    m_lstResults.SetCurSel(n > 2 ? n - 1 : n);
    UpdateHorizontalExtent();
    // The walk may not pump again for a while: the line is seen now.
    ::UpdateWindow(m_lstResults);
    ::UpdateWindow(m_stcStatus);
    return 0;
}

void CCleanerDlg::UpdateHorizontalExtent()
{
    int widest = 0;
    {
        CWindowDC dc(&m_lstResults);
        int count = m_lstResults.GetCount();
        char line[sizeof ResultLine];
        for (int i = 0; i < count; ++i) {
            int length = m_lstResults.GetText(i, line, sizeof line);
            if (length < 0)
                continue;
            SIZE size = {};
            if (GetTextExtentPoint32A(dc, line, int(strlen(line)), &size) && size.cx > widest)
                widest = size.cx;
        }
    }
    if (m_lstResults.GetHorizontalExtent() < widest && widest > kExtentThreshold)
        m_lstResults.SetHorizontalExtent(widest * 3 / 4);
}

void CCleanerDlg::OnLButtonDown(UINT, CPoint point)
{
    // Labels and group boxes let clicks through: the whole skin drags.
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    Default();
}

HBRUSH CCleanerDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    HBRUSH brush = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    pDC->SetBkMode(TRANSPARENT);
    if (pWnd && pWnd->GetDlgCtrlID() == IDC_FAMILY)
        return brush;
    if (nCtlColor == CTLCOLOR_DLG || nCtlColor == CTLCOLOR_STATIC)
        return static_cast<HBRUSH>(g_whiteBrush.GetSafeHandle());
    return brush;
}

void CCleanerDlg::OnPaint()
{
    CPaintDC dc(this);
    if (m_hSkinDC)
        ::BitBlt(dc, 0, 0, m_bmSkin.bmWidth, m_bmSkin.bmHeight, m_hSkinDC, 0, 0, SRCCOPY);
}

void CCleanerDlg::OnDownload()
{
    OpenPage(kDownloadPageUrl);
}

void CCleanerDlg::OnUtilityLink()
{
    OpenPage(kUtilityPageUrl);
}
