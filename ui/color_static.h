// A label that paints its own text: white on a fixed blue, in the shared
// bold label font.
#pragma once
#include "framework/framework.h"

#include <string>

class CColorStatic : public CStatic {
public:
    std::string m_strText;                       // window text, read at each paint
    CRect m_rcText;                              // client rectangle, read at each paint
    COLORREF m_crText = RGB(255, 255, 255);

    static constexpr COLORREF kTextBackground = RGB(2, 77, 246);

protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()
};
