// Answers this process's boxes with a given caption like DialogAnswerer, but
// prints what each box showed before it answers: a program that ends right
// after its box closes leaves no later moment to read what it showed.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace scx::test {

class PrintingAnswerer {
public:
    // Prints "BOX caption=<caption> text=<text> buttons=<ids>" on standard
    // output (flushed) for each box, then presses buttonId.
    PrintingAnswerer(std::string caption, int buttonId);
    ~PrintingAnswerer();
    PrintingAnswerer(const PrintingAnswerer&) = delete;
    PrintingAnswerer& operator=(const PrintingAnswerer&) = delete;

private:
    void Run();
    std::string caption_;
    int buttonId_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace scx::test
