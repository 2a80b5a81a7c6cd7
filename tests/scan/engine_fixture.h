// Common ground of the engine tests: a clean ScanState, a recording front end,
// a window of this thread to post messages to, and a scratch folder of the
// test's own.
#pragma once
#include "detect/detection.h"
#include "scan/engine.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace scx::test {

inline void ResetScanState()
{
    ScanState = ScanStateData{};
    ActionMode = kActionDelete;
    ResultLine[0] = '\0';
    StatusText[0] = '\0';
}

// Drops whatever earlier cases left in this thread's queue.
inline void DrainQueue()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetScanState();
        frontEnd_ = std::make_unique<RecordingFrontEnd>();
        window_ = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window_) << "no window could be made: is the virtual display running?";
        DrainQueue();
        dir_ = MakeScratchSubdir("case");
    }
    void TearDown() override
    {
        frontEnd_.reset();
        if (window_)
            DestroyWindow(window_);
        RemoveTree(dir_);
        ResetScanState();
    }

    RecordingFrontEnd& frontEnd() { return *frontEnd_; }
    // Messages posted here reach the scan's pump like any of the thread's.
    HWND window() const { return window_; }
    const std::vector<std::string>& lines() { return frontEnd_->lines(); }
    const std::vector<std::string>& statuses() { return frontEnd_->statuses(); }
    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
    std::string Pattern() const { return dir_ + "\\*.*"; }

    std::unique_ptr<RecordingFrontEnd> frontEnd_;
    HWND window_ = nullptr;
    std::string dir_;
};

inline std::string RecordName(int record) { return DetectionTable[record].name; }

inline std::string RemovedLine(const std::string& path, const std::string& name)
{
    return path + "     " + name + " removed";
}

} // namespace scx::test
