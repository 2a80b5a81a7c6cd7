#include "tests/support/dialog_answerer.h"

#include <cstdio>
#include <cstring>

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
    if (strcmp(cls, "#32770") != 0) // dialog boxes only
        return TRUE;
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (!s->caption->empty() && *s->caption != text)
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

void Print(const std::string& caption, const std::string& text, const std::vector<int>& ids)
{
    std::string buttons;
    for (int id : ids)
        buttons += (buttons.empty() ? "" : ",") + std::to_string(id);
    std::string oneLine;
    for (char ch : text)
        oneLine += ch == '\n' ? std::string("\\n") : ch == '\r' ? std::string("\\r") : std::string(1, ch);
    printf("BOX caption=%s text=%s buttons=%s\n", caption.c_str(), oneLine.c_str(), buttons.c_str());
    fflush(stdout);
}

} // namespace

DialogAnswerer::DialogAnswerer(std::string caption, int buttonId, bool printEach)
    : caption_(std::move(caption)), buttonId_(buttonId), printEach_(printEach), pid_(GetCurrentProcessId())
{
    thread_ = std::thread([this] { Run(); });
}

DialogAnswerer::~DialogAnswerer()
{
    stop_ = true;
    thread_.join();
}

std::vector<DialogAnswerer::Seen> DialogAnswerer::seen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

int DialogAnswerer::count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return int(seen_.size());
}

void DialogAnswerer::Run()
{
    HWND last = nullptr;
    while (!stop_) {
        Search s{pid_, &caption_, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
        if (s.found && s.found != last) {
            Sleep(50); // let the box finish its initialisation
            Collect c;
            EnumChildWindows(s.found, CollectChild, reinterpret_cast<LPARAM>(&c));
            char caption[512] = {};
            GetWindowTextA(s.found, caption, sizeof caption);
            if (printEach_)
                Print(caption, c.text, c.buttons);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back({caption, c.text, c.buttons});
            }
            PostMessageA(s.found, WM_COMMAND, MAKEWPARAM(buttonId_, BN_CLICKED), 0);
            last = s.found;
        } else if (!s.found) {
            last = nullptr;
        }
        Sleep(20);
    }
}

} // namespace scx::test
