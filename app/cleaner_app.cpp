#include "app/cleaner_app.h"

#include "scan/product.h"
#include "ui/cleaner_dlg.h"

CCleanerApp theApp;

BOOL CCleanerApp::InitInstance()
{
    // The main dialog gives itself this title during its initialisation; a
    // second copy ends silently while any window carries it.
    if (FindWindowA(nullptr, kProductCaption))
        return FALSE;

    CCleanerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    dlg.DestroyWindow();
    m_pMainWnd = nullptr;
    // No message loop of our own: the process ends here.
    return FALSE;
}
