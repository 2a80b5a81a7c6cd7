// A window that stands in for the main dialog behind the dialog's front end:
// it records the text of each result-line and status message it is sent.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace scx::test {

class CaptureWindow {
public:
    struct Event {
        bool isResult; // true: a result line; false: a status
        std::string text;
    };

    // Creates the (hidden) window and, unless told otherwise, makes it
    // ScanState.mainWindow. The destructor puts back the previous handle.
    explicit CaptureWindow(bool becomeMainWindow = true);
    ~CaptureWindow();
    CaptureWindow(const CaptureWindow&) = delete;
    CaptureWindow& operator=(const CaptureWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    const std::vector<std::string>& lines() const { return lines_; }
    const std::vector<std::string>& statuses() const { return statuses_; }
    const std::vector<Event>& events() const { return events_; }
    void Clear();
    // Called with each status right after it is recorded, inside the walk.
    void OnStatus(std::function<void(const std::string&)> hook) { onStatus_ = std::move(hook); }

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
    HWND previous_ = nullptr;
    bool installed_ = false;
    std::vector<std::string> lines_;
    std::vector<std::string> statuses_;
    std::vector<Event> events_;
    std::function<void(const std::string&)> onStatus_;
};

} // namespace scx::test
