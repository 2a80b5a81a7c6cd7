// The skinned message box behind ShowMessage (template 142): bitmap buttons
// chosen by the flags, one of four bitmap icons, a light-blue background and a
// size that grows with the text.
#pragma once
#include "framework/framework.h"
#include "ui/ex_button.h"

#include <string>

class CMessageDlg : public CDialog {
public:
    explicit CMessageDlg(CWnd* parent = nullptr);

    CStatic m_stcIcon;
    NCExButton m_btnYes;
    NCExButton m_btnOk;
    NCExButton m_btnNo;
    NCExButton m_btnOkOnly;
    NCExButton m_btnCancel;
    CStatic m_stcText;
    int m_nIconId;
    bool m_bOkOnly = false;
    bool m_bOkCancel = false;
    bool m_bYesNo = false;
    std::string m_strText;
    std::string m_strCaption;

    static constexpr COLORREF kBackground = RGB(207, 233, 254);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnYes();
    void OnPaint();
    void OnNo();
    void OnOkOnly();
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    DECLARE_MESSAGE_MAP()

private:
    void CentreOverMain();

    CBrush m_brBackground;
};
