#include "tests/app/scourix_driver.h"

#include <cstdio>
#include <cstring>

namespace scx::test {

namespace {

constexpr int kResultList = 1055;
constexpr int kOkButton = 1070;
constexpr DWORD kSendTimeoutMs = 2000;

std::string Narrow(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// WM_GETTEXT through a timeout, so a busy or hung program cannot hang the caller.
std::string WindowText(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
        return std::string();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, LPARAM(&text[0]), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &got))
        return std::string();
    text.resize(got > length ? length : got);
    return Narrow(text);
}

struct FindContext {
    DWORD pid;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK FindMain(HWND hwnd, LPARAM lp)
{
    auto* ctx = reinterpret_cast<FindContext*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (ctx->pid != 0 && pid != ctx->pid)
        return TRUE;
    char title[64] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    if (strcmp(title, kMainTitle) != 0)
        return TRUE;
    // The main dialog is the one with the result list.
    if (!GetDlgItem(hwnd, kResultList))
        return TRUE;
    ctx->found = hwnd;
    return FALSE;
}

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lp)
{
    auto* ctx = reinterpret_cast<FindContext*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ctx->pid || hwnd == ctx->exclude || !IsWindowVisible(hwnd))
        return TRUE;
    if (GetDlgItem(hwnd, kResultList))
        return TRUE;
    ctx->found = hwnd;
    return FALSE;
}

BOOL CALLBACK DescribeChild(HWND child, LPARAM lp)
{
    auto* box = reinterpret_cast<BoxSeen*>(lp);
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if (_stricmp(cls, "Button") == 0) {
        if (style & WS_VISIBLE)
            box->buttons.push_back(GetDlgCtrlID(child));
    } else if (_stricmp(cls, "Static") == 0) {
        std::string text = WindowText(child);
        if (text.size() > box->text.size())
            box->text = text;
    }
    return TRUE;
}

} // namespace

ProcessGuard StartScourix(const std::string& exePath)
{
    std::string dir = exePath;
    size_t slash = dir.find_last_of('\\');
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash);
    std::string cmd = "\"" + exePath + "\"";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exePath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &si, &pi))
        return ProcessGuard();
    return ProcessGuard(pi);
}

HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        FindContext ctx = {pid, nullptr, nullptr};
        EnumWindows(FindMain, LPARAM(&ctx));
        if (ctx.found && IsWindowVisible(ctx.found))
            return ctx.found;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

bool ControlShown(HWND dialog, int id)
{
    HWND c = GetDlgItem(dialog, id);
    return c && (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool ControlEnabled(HWND dialog, int id)
{
    HWND c = GetDlgItem(dialog, id);
    return c && (GetWindowLongA(c, GWL_STYLE) & WS_DISABLED) == 0;
}

std::string ControlText(HWND dialog, int id)
{
    HWND c = GetDlgItem(dialog, id);
    return c ? WindowText(c) : std::string();
}

int ResultLineCount(HWND dialog)
{
    HWND list = GetDlgItem(dialog, kResultList);
    DWORD_PTR n = 0;
    if (!list || !SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &n))
        return -1;
    return int(LRESULT(n));
}

int ResultSelection(HWND dialog)
{
    HWND list = GetDlgItem(dialog, kResultList);
    DWORD_PTR n = 0;
    if (!list || !SendMessageTimeoutW(list, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &n))
        return -2;
    return int(LRESULT(n));
}

std::vector<std::string> ReadResultLines(HWND dialog)
{
    std::vector<std::string> lines;
    HWND list = GetDlgItem(dialog, kResultList);
    int count = ResultLineCount(dialog);
    for (int i = 0; list && i < count; ++i) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, WPARAM(i), 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length) ||
            LRESULT(length) == LB_ERR)
            break;
        std::wstring text(length + 1, L'\0');
        DWORD_PTR got = 0;
        if (!SendMessageTimeoutW(list, LB_GETTEXT, WPARAM(i), LPARAM(&text[0]), SMTO_ABORTIFHUNG,
                                 kSendTimeoutMs, &got) ||
            LRESULT(got) == LB_ERR)
            break;
        text.resize(got > length ? length : got);
        lines.push_back(Narrow(text));
    }
    return lines;
}

BoxSeen WaitForBox(DWORD pid, HWND mainDialog, DWORD timeoutMs)
{
    BoxSeen seen;
    DWORD start = GetTickCount();
    for (;;) {
        FindContext ctx = {pid, mainDialog, nullptr};
        EnumWindows(FindBox, LPARAM(&ctx));
        if (ctx.found) {
            // Let the box finish laying itself out before reading it.
            Sleep(150);
            seen.hwnd = ctx.found;
            seen.caption = WindowText(ctx.found);
            EnumChildWindows(ctx.found, DescribeChild, LPARAM(&seen));
            return seen;
        }
        if (GetTickCount() - start >= timeoutMs)
            return seen;
        Sleep(50);
    }
}

void PressBoxButton(HWND box, int id)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(box, id)));
}

int NegativeAnswer(const BoxSeen& box)
{
    auto has = [&](int id) {
        for (int b : box.buttons)
            if (b == id)
                return true;
        return false;
    };
    if (has(IDNO))
        return IDNO;
    if (has(IDCANCEL))
        return IDCANCEL;
    if (has(IDOK))
        return IDOK;
    return box.buttons.empty() ? IDCANCEL : box.buttons.front();
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

bool ScanFinished(HWND dialog)
{
    return ControlShown(dialog, kOkButton);
}

bool SaveWindowShot(HWND window, const std::string& bmpPath)
{
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    const int w = 527, h = 338;
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (mem && dib) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(mem, old);
    }
    if (ok) {
        const DWORD stride = (w * 3 + 3) & ~3u;
        const DWORD size = stride * h;
        BITMAPFILEHEADER fh = {};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
        fh.bfSize = fh.bfOffBits + size;
        bi.bmiHeader.biSizeImage = size;
        FILE* f = fopen(bmpPath.c_str(), "wb");
        ok = f && fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
             fwrite(bits, size, 1, f) == 1;
        if (f && fclose(f) != 0)
            ok = false;
    }
    if (dib)
        DeleteObject(dib);
    if (mem)
        DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool SetSuiteInstalled(bool installed)
{
    const char* path = "Software\\Tessaro\\Ardentis 2000";
    if (!installed) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tessaro");
        HKEY probe;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
            RegCloseKey(probe);
            return false;
        }
        return true;
    }
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const char folder[] = "C:\\Program Files\\Tessaro\\Ardentis 2000";
    bool ok = RegSetValueExA(key, "Installed Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                             sizeof folder) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

} // namespace scx::test
