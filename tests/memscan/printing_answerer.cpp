#include "tests/memscan/printing_answerer.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace scx::test {
namespace {

struct Search {
    DWORD pid;
    const std::string* caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd))
        return TRUE;
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0)
        return TRUE;
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (*s->caption != text)
        return TRUE;
    s->found = hwnd;
    return FALSE;
}

struct Collect {
    std::string text;
    std::vector<int> buttons;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM lp)
{
    auto* c = reinterpret_cast<Collect*>(lp);
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") == 0) {
        char text[1024] = {};
        GetWindowTextA(child, text, sizeof text);
        if (strlen(text) > c->text.size())
            c->text = text;
    } else if (_stricmp(cls, "Button") == 0 && IsWindowVisible(child)) {
        c->buttons.push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

} // namespace

PrintingAnswerer::PrintingAnswerer(std::string caption, int buttonId)
    : caption_(std::move(caption)), buttonId_(buttonId)
{
    thread_ = std::thread([this] { Run(); });
}

PrintingAnswerer::~PrintingAnswerer()
{
    stop_ = true;
    thread_.join();
}

void PrintingAnswerer::Run()
{
    HWND last = nullptr;
    while (!stop_) {
        Search s{GetCurrentProcessId(), &caption_, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
        if (s.found && s.found != last) {
            Sleep(50); // let the box finish its initialisation
            Collect c;
            EnumChildWindows(s.found, CollectChild, reinterpret_cast<LPARAM>(&c));
            std::string buttons;
            for (int id : c.buttons)
                buttons += (buttons.empty() ? "" : ",") + std::to_string(id);
            // Line feeds shown as \n so that the box's text stays on one line.
            std::string text;
            for (char ch : c.text)
                text += ch == '\n' ? std::string("\\n") : ch == '\r' ? std::string("\\r") : std::string(1, ch);
            printf("BOX caption=%s text=%s buttons=%s\n", caption_.c_str(), text.c_str(), buttons.c_str());
            fflush(stdout);
            PostMessageA(s.found, WM_COMMAND, MAKEWPARAM(buttonId_, BN_CLICKED), 0);
            last = s.found;
        } else if (!s.found) {
            last = nullptr;
        }
        Sleep(10);
    }
}

} // namespace scx::test
