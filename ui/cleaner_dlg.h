// The program's main window: a captionless dialog shaped by its skin bitmap,
// with the SCAN button, the result list and the status line. The scan runs
// inside this dialog's timer handler; the engine reports to it through the
// dialog's front end and the messages of ui/scan_messages.h.
#pragma once
#include <windows.h>

#include "framework/framework.h"
#include "ui/color_static.h"
#include "ui/ex_button.h"

class CCleanerDlg : public CDialog {
public:
    explicit CCleanerDlg(CWnd* parent = nullptr);
    ~CCleanerDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;      // no control has id 1: an IDOK command does nothing
    void OnCancel() override;  // CANCEL, Escape, system close

    LRESULT OnStatusReport(WPARAM, LPARAM);
    LRESULT OnResultReport(WPARAM, LPARAM);
    void OnTimer(UINT_PTR nIDEvent);
    void OnPaint();
    void OnScan();
    void OnStop();
    void OnDownload();
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnOkButton();
    void OnUtilityLink();
    DECLARE_MESSAGE_MAP()

private:
    void CreateLabelFont();
    void UpdateHorizontalExtent();
    void AskToStop(const char* caption);

    CButton m_grpResults;
    CExButton m_btnLogo;
    CExButton m_btnUtilityLink;
    CExButton m_btnDownloadLink;
    CStatic m_stcSearching;
    CStatic m_stcSuite;
    CStatic m_stcTitle;
    CStatic m_stcNotice;
    CColorStatic m_stcFamily;
    CExButton m_btnCancel;
    CButton m_grpStatus;
    CStatic m_stcStatus;
    CListBox m_lstResults;
    CExButton m_btnClose;
    CExButton m_btnDownload;
    CExButton m_btnScan;
    CExButton m_btnOk;
    HICON m_hIcon = nullptr;
    HBITMAP m_hSkinBitmap = nullptr;
    HDC m_hSkinDC = nullptr;
    HGDIOBJ m_hOldBitmap = nullptr;
    HRGN m_hSkinRgn = nullptr;
    BITMAP m_bmSkin = {};
    CFont m_fontSearching;
    bool m_bScanArmed = false; // the scan's timer is set and has not fired
};

// True when the maker's suite is installed: its key opens and its
// "Installed Folder" value can be read.
bool IsSuiteInstalled();

// The maker's web pages opened by DOWNLOAD, DLINK and ULINK.
extern const char kDownloadPageUrl[];
extern const char kUtilityPageUrl[];
