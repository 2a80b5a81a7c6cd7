// Owner-drawn bitmap buttons. The pictures are found by the button's window
// text: TEXT_FOCUS (mouse over it or keyboard focus), TEXT_NOTFOCUS (normal,
// also gives the button's size) and TEXT_DISABLE (disabled; optional).
// CExButton also shows a hand cursor once LoadHandCursor has found one;
// NCExButton keeps the standard cursor.
#pragma once
#include "framework/framework.h"

class CExButton : public CButton {
    DECLARE_DYNAMIC(CExButton)
public:
    CExButton() = default;
    ~CExButton() override;

    // Binds to the parent's control id unless already bound, then loads the
    // pictures named after the window text. FALSE when it cannot bind or the
    // text is empty; TRUE otherwise, even if pictures are missing.
    BOOL AttachSkin(UINT id, CWnd* parent);
    BOOL LoadSkinBitmaps(const char* focusName, const char* notFocusName, const char* disableName);
    BOOL SizeToSkin();
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    // Cursor 106 of winhlp32.exe in the Windows folder, else the system's
    // hand cursor; the standard arrow when neither is there.
    void LoadHandCursor();

    HCURSOR m_hCursor = nullptr;
    bool m_bHover = false;
    CRect m_rcButton;
    CBitmap m_bmpDisable;
    CBitmap m_bmpNotFocus;
    CBitmap m_bmpFocus;

protected:
    void OnMouseMove(UINT flags, CPoint point);
    void OnKillFocus(CWnd* newWnd);
    void OnSetFocus(CWnd* oldWnd);
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    DECLARE_MESSAGE_MAP()
};

class NCExButton : public CButton {
    DECLARE_DYNAMIC(NCExButton)
public:
    BOOL AttachSkin(UINT id, CWnd* parent);
    BOOL LoadSkinBitmaps(const char* focusName, const char* notFocusName, const char* disableName);
    BOOL SizeToSkin();
    void DrawItem(LPDRAWITEMSTRUCT dis) override;

    bool m_bHover = false;
    CRect m_rcButton;
    CBitmap m_bmpDisable;
    CBitmap m_bmpNotFocus;
    CBitmap m_bmpFocus;

protected:
    void OnMouseMove(UINT flags, CPoint point);
    void OnKillFocus(CWnd* newWnd);
    void OnSetFocus(CWnd* oldWnd);
    DECLARE_MESSAGE_MAP()
};
