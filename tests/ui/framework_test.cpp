// The dialog framework: message maps in declared order with the base map and
// default processing behind them, data exchange, owner-draw reflection, the
// modal loop's results and centring.
#include "framework/framework.h"

#include <gtest/gtest.h>

#include <mbctype.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int kOwnerButton = 901, kLabel = 902, kList = 903, kGo = 904;

class CountingButton : public CButton {
public:
    void DrawItem(LPDRAWITEMSTRUCT dis) override { ++draws; lastItem = dis->CtlID; }
    int draws = 0;
    UINT lastItem = 0;
};

class TestDlg : public CDialog {
public:
    TestDlg() : CDialog(900) {}
    UINT postMsg = 0;
    WPARAM postWp = 0;
    LPARAM postLp = 0;
    std::vector<std::string> calls;
    CountingButton m_btnOwner;
    CStatic m_stcLabel;
    CListBox m_lstItems;
    RECT initRect{};
    RECT goRect{};
    std::string labelAtInit;
    int listCountAtInit = -1;
    std::string listLineAtInit;
    int listSelAtInit = -2;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, kOwnerButton, m_btnOwner);
        DDX_Control(pDX, kLabel, m_stcLabel);
        DDX_Control(pDX, kList, m_lstItems);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        labelAtInit = m_stcLabel.GetWindowTextString();
        m_lstItems.AddString("first");
        m_lstItems.AddString("second");
        m_lstItems.SetCurSel(1);
        listCountAtInit = m_lstItems.GetCount();
        char buf[4] = {};
        m_lstItems.GetText(1, buf, sizeof buf); // cut to the buffer
        listLineAtInit = buf;
        listSelAtInit = m_lstItems.GetCurSel();
        GetWindowRect(&initRect);
        if (postMsg)
            PostMessage(postMsg, postWp, postLp);
        return TRUE;
    }
    void OnCancel() override { calls.push_back("OnCancel"); EndDialog(55); }
    void OnGo()
    {
        calls.push_back("OnGo");
        GetWindowRect(&goRect);
        ShowWindow(SW_SHOWNA); // a modal box shows itself only once its queue is empty
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        EndDialog(77);
    }
    LRESULT OnFirst(WPARAM wp, LPARAM) { calls.push_back("OnFirst"); EndDialog((int)wp); return 0; }
    LRESULT OnSecond(WPARAM, LPARAM) { calls.push_back("OnSecond"); return 0; }
    void OnTimer(UINT_PTR id)
    {
        calls.push_back("OnTimer");
        KillTimer(id);
        Default();
        EndDialog(88);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDlg, CDialog)
    ON_COMMAND(kGo, OnGo)
    ON_MESSAGE(WM_APP, OnFirst)
    ON_MESSAGE(WM_APP, OnSecond)
    ON_WM_TIMER()
END_MESSAGE_MAP()

struct ModalCase {
    const char* name;
    UINT msg;
    WPARAM wp;
    INT_PTR result;
    std::vector<std::string> calls;
};

void PrintTo(const ModalCase& c, std::ostream* os) { *os << c.name; }

class ModalResults : public ::testing::TestWithParam<ModalCase> {};

TEST_P(ModalResults, MessageReachesTheRightHandler)
{
    const ModalCase& c = GetParam();
    TestDlg dlg;
    dlg.postMsg = c.msg;
    dlg.postWp = c.wp;
    INT_PTR r;
    if (c.msg == WM_TIMER) {
        class TimerDlg : public TestDlg {
            BOOL OnInitDialog() override { TestDlg::OnInitDialog(); SetTimer(5, 10); return TRUE; }
        } tdlg;
        r = tdlg.DoModal();
        EXPECT_EQ(c.calls, tdlg.calls);
    } else {
        r = dlg.DoModal();
        EXPECT_EQ(c.calls, dlg.calls);
    }
    EXPECT_EQ(c.result, r);
}

INSTANTIATE_TEST_SUITE_P(Framework, ModalResults, ::testing::Values(
    ModalCase{"IdOkEndsWithIdOk", WM_COMMAND, IDOK, IDOK, {}},
    ModalCase{"IdCancelReachesOverriddenOnCancel", WM_COMMAND, IDCANCEL, 55, {"OnCancel"}},
    ModalCase{"CloseBoxBecomesIdCancel", WM_SYSCOMMAND, SC_CLOSE, 55, {"OnCancel"}},
    ModalCase{"EscapeKeyBecomesIdCancel", WM_KEYDOWN, VK_ESCAPE, 55, {"OnCancel"}},
    ModalCase{"DerivedCommandEntry", WM_COMMAND, kGo, 77, {"OnGo"}},
    ModalCase{"FirstDeclaredEntryWins", WM_APP, 33, 33, {"OnFirst"}},
    ModalCase{"TimerHandlerWithDefault", WM_TIMER, 0, 88, {"OnTimer"}}),
    [](const ::testing::TestParamInfo<ModalCase>& i) { return std::string(i.param.name); });

TEST(Framework, DataExchangeBindsAndOwnerDrawIsReflected)
{
    TestDlg dlg;
    dlg.postMsg = WM_COMMAND;
    dlg.postWp = kGo;
    EXPECT_EQ(77, dlg.DoModal());
    EXPECT_GE(dlg.m_btnOwner.draws, 1);
    EXPECT_EQ(UINT(kOwnerButton), dlg.m_btnOwner.lastItem);
    EXPECT_EQ("Label", dlg.labelAtInit);
    EXPECT_EQ(2, dlg.listCountAtInit);
    EXPECT_EQ("sec", dlg.listLineAtInit);
    EXPECT_EQ(1, dlg.listSelAtInit);
    // The windows are gone and the members are unbound again.
    EXPECT_EQ(nullptr, dlg.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_btnOwner.m_hWnd);
}

TEST(Framework, HiddenDialogAtItsTemplatePlaceIsCentred)
{
    TestDlg dlg;
    dlg.postMsg = WM_COMMAND;
    dlg.postWp = kGo;
    ASSERT_EQ(77, dlg.DoModal());
    EXPECT_EQ(0, dlg.initRect.left);
    EXPECT_EQ(0, dlg.initRect.top);
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int w = dlg.goRect.right - dlg.goRect.left, h = dlg.goRect.bottom - dlg.goRect.top;
    EXPECT_EQ((work.left + work.right) / 2 - w / 2, dlg.goRect.left);
    EXPECT_EQ((work.top + work.bottom) / 2 - h / 2, dlg.goRect.top);
}

TEST(Framework, GdiObjectsAreReleased)
{
    HGDIOBJ h;
    {
        CBrush brush(RGB(1, 2, 3));
        h = brush.GetSafeHandle();
        ASSERT_NE(nullptr, h);
        LOGBRUSH lb{};
        EXPECT_EQ(int(sizeof lb), ::GetObjectA(h, sizeof lb, &lb));
    }
    LOGBRUSH lb{};
    EXPECT_EQ(0, ::GetObjectA(h, sizeof lb, &lb));
    {
        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC((CDC*)nullptr));
        EXPECT_NE(0, dc.GetDeviceCaps(BITSPIXEL));
    }
}


class TestApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        ++initCalls;
        codePageAtInit = _getmbcp();
        instanceAtInit = m_hInstance;
        return FALSE;
    }
    int ExitInstance() override { return 7; }
    int initCalls = 0;
    int codePageAtInit = -1;
    HINSTANCE instanceAtInit = nullptr;
};

TEST(Framework, AfxWinMainRunsInitInstanceAndEndsWhenItRefuses)
{
    TestApp app;
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(7, AfxWinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL));
    EXPECT_EQ(1, app.initCalls);
    EXPECT_EQ(int(GetACP()), app.codePageAtInit);
    EXPECT_EQ(GetModuleHandleA(nullptr), app.instanceAtInit);
    EXPECT_EQ(nullptr, AfxGetMainWnd());
}

// ------------------------------------------------ finding a window's object

constexpr UINT kPing = WM_APP + 7;

class RoutedWnd : public CWnd {
public:
    explicit RoutedWnd(int id) : id_(id) {}
    int pings = 0;

protected:
    LRESULT OnPing(WPARAM, LPARAM)
    {
        ++pings;
        return id_;
    }
    DECLARE_MESSAGE_MAP()

private:
    int id_;
};

BEGIN_MESSAGE_MAP(RoutedWnd, CWnd)
    ON_MESSAGE(kPing, OnPing)
END_MESSAGE_MAP()

HWND MakeStatic(HWND parent)
{
    return CreateWindowExA(0, "STATIC", "", parent ? WS_CHILD : WS_POPUP, 0, 0, 10, 10, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Windows made before their objects attach, more than fit the first block of
// the table, attached and detached in any order: each message reaches the
// object of its own window, and none once the object has let go.
TEST(FrameworkRouting, EveryWindowReachesItsOwnObjectUntilItLetsGo)
{
    HWND parent = MakeStatic(nullptr);
    ASSERT_NE(nullptr, parent);
    constexpr int kWindows = 100;
    std::vector<HWND> windows;
    std::vector<std::unique_ptr<RoutedWnd>> objects;
    for (int i = 0; i < kWindows; ++i) {
        windows.push_back(MakeStatic(parent));
        ASSERT_NE(nullptr, windows.back());
    }
    for (int i = 0; i < kWindows; ++i) {
        objects.push_back(std::make_unique<RoutedWnd>(1000 + i));
        ASSERT_TRUE(objects[i]->SubclassWindow(windows[i])) << i;
    }
    // One window, one object.
    RoutedWnd intruder(-1);
    EXPECT_FALSE(intruder.SubclassWindow(windows[5]));

    auto detached = [](int i) { return i % 3 == 1; };
    for (int i = 0; i < kWindows; ++i) {
        if (detached(i)) {
            EXPECT_EQ(windows[i], objects[i]->UnsubclassWindow());
        }
    }
    // Destroyed with its object attached: the object lets go by itself.
    ASSERT_TRUE(DestroyWindow(windows[kWindows - 1]));
    EXPECT_EQ(nullptr, objects[kWindows - 1]->m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(windows[kWindows - 1]));

    for (int i = 0; i < kWindows - 1; ++i) {
        const LRESULT r = SendMessageA(windows[i], kPing, 0, 0);
        if (detached(i)) {
            EXPECT_EQ(0, r) << i; // the control's own procedure
            EXPECT_EQ(0, objects[i]->pings) << i;
            EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(windows[i])) << i;
        } else {
            EXPECT_EQ(1000 + i, r) << i;
            EXPECT_EQ(1, objects[i]->pings) << i;
            EXPECT_EQ(objects[i].get(), CWnd::FromHandlePermanent(windows[i])) << i;
        }
    }
    objects.clear(); // unsubclasses the rest
    for (int i = 0; i < kWindows - 1; ++i)
        EXPECT_EQ(0, SendMessageA(windows[i], kPing, 0, 0)) << i;
    DestroyWindow(parent);
}

// A window of anyone else, whatever its own data holds, is no object.
TEST(FrameworkRouting, ForeignWindowDataIsNeverTakenForAnObject)
{
    RoutedWnd unattached(1);
    HWND foreign = MakeStatic(nullptr);
    ASSERT_NE(nullptr, foreign);
    SetWindowLongPtrA(foreign, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&unattached));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(foreign));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(GetDesktopWindow()));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(nullptr));
    DestroyWindow(foreign);
}

// The dialog attaches inside its own creation (WM_INITDIALOG): from there on
// its messages and its bound controls' colour requests reach the objects.
class CreationDlg : public CDialog {
public:
    CreationDlg() : CDialog(900) {}
    LRESULT pingAtInit = 0;
    int pings = 0;
    bool labelColouredAsItsObject = false;
    CStatic m_stcLabel;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, kLabel, m_stcLabel);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        pingAtInit = SendMessage(kPing);
        PostMessage(WM_COMMAND, kGo);
        return TRUE;
    }
    LRESULT OnPing(WPARAM, LPARAM)
    {
        ++pings;
        return 42;
    }
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
    {
        if (pWnd && pWnd->m_hWnd == m_stcLabel.m_hWnd && pWnd == &m_stcLabel)
            labelColouredAsItsObject = true;
        return CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    }
    void OnGo()
    {
        ShowWindow(SW_SHOWNA);
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        EndDialog(77);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CreationDlg, CDialog)
    ON_MESSAGE(kPing, OnPing)
    ON_WM_CTLCOLOR()
    ON_COMMAND(kGo, OnGo)
END_MESSAGE_MAP()

TEST(FrameworkRouting, DialogIsRoutedFromItsCreationOn)
{
    CreationDlg dlg;
    EXPECT_EQ(77, dlg.DoModal());
    EXPECT_EQ(42, dlg.pingAtInit);
    EXPECT_EQ(1, dlg.pings);
    EXPECT_TRUE(dlg.labelColouredAsItsObject);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

} // namespace
