// Answers the program's own modal questions from a second thread, the way a
// user would: it waits for a window of this process with the given caption,
// records the texts it shows, and presses the button with the given id.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace scx::test {

class DialogAnswerer {
public:
    struct Seen {
        std::string caption;
        std::string text;          // the longest static text in the box
        std::vector<int> visibleButtons;
    };

    // Answers every box whose caption equals caption (any caption when
    // empty) with a WM_COMMAND of buttonId (IDYES, IDNO, IDOK, IDCANCEL).
    // With printEach, each box is first printed on standard output as
    // "BOX caption=<caption> text=<text, line feeds as \n> buttons=<ids>":
    // a child that ends right after its box closes leaves no later moment to
    // read what it showed.
    DialogAnswerer(std::string caption, int buttonId, bool printEach = false);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    std::vector<Seen> seen() const;
    int count() const;

private:
    void Run();
    std::string caption_;
    int buttonId_;
    bool printEach_;
    DWORD pid_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Seen> seen_;
    std::thread thread_;
};

} // namespace scx::test
