// Common ground of the engine tests: a clean ScanState, the capture window on
// the reporting channel and a scratch folder of the test's own.
#pragma once
#include "detect/detection.h"
#include "scan/engine.h"
#include "tests/support/capture_window.h"
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
        capture_ = std::make_unique<CaptureWindow>();
        // Without it no result line is even formatted: say why at once.
        ASSERT_NE(nullptr, capture_->hwnd()) << "no window could be made: is the virtual display running?";
        DrainQueue();
        dir_ = MakeScratchSubdir("case");
    }
    void TearDown() override
    {
        capture_.reset();
        RemoveTree(dir_);
        ResetScanState();
    }

    CaptureWindow& capture() { return *capture_; }
    const std::vector<std::string>& lines() { return capture_->lines(); }
    const std::vector<std::string>& statuses() { return capture_->statuses(); }
    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
    std::string Pattern() const { return dir_ + "\\*.*"; }

    std::unique_ptr<CaptureWindow> capture_;
    std::string dir_;
};

inline std::string RecordName(int record) { return DetectionTable[record].name; }

inline std::string RemovedLine(const std::string& path, const std::string& name)
{
    return path + "     " + name + " removed";
}

} // namespace scx::test
