#include "ui/color_static.h"

#include "ui/ui_globals.h"

BEGIN_MESSAGE_MAP(CColorStatic, CStatic)
    ON_WM_PAINT()
END_MESSAGE_MAP()

void CColorStatic::OnPaint()
{
    CPaintDC dc(this);
    GetClientRect(&m_rcText);
    m_strText = GetWindowTextString();
    dc.SetTextColor(m_crText);
    // Without the label font (not created yet) the DC's own font is used.
    HGDIOBJ oldFont = g_labelFont.GetSafeHandle() ? dc.SelectObject(&g_labelFont) : nullptr;
    // Opaque background: the character cells are filled with the blue.
    dc.SetBkColor(kTextBackground);
    dc.DrawText(m_strText.c_str(), int(m_strText.size()), &m_rcText, DT_CENTER | DT_VCENTER);
    if (oldFont)
        dc.SelectObject(oldFont);
}
