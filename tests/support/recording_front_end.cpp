#include "tests/support/recording_front_end.h"

#include "scan/scan_state.h"

#include <cstring>

namespace scx::test {

namespace {
// Bounded: a missing terminator must show up as a failure, not a crash.
std::string Bounded(const char* text, size_t size) { return text ? std::string(text, strnlen(text, size)) : "(null)"; }
} // namespace

void RecordingFrontEnd::Clear()
{
    lines_.clear();
    statuses_.clear();
    events_.clear();
    questions_.clear();
    notices_.clear();
    removalsAsked_.clear();
    settles_ = 0;
    polls_ = 0;
}

void RecordingFrontEnd::resultLine(const char* text)
{
    std::string line = Bounded(text, sizeof ResultLine);
    lines_.push_back(line);
    events_.push_back({true, line, kStatusNow});
}

void RecordingFrontEnd::status(const char* text, StatusPace pace)
{
    std::string shown = Bounded(text, sizeof StatusText);
    statuses_.push_back(shown);
    events_.push_back({false, shown, pace});
    if (onStatus_)
        onStatus_(shown);
}

int RecordingFrontEnd::ask(FrontEndQuestion which, const char* text, const char* caption, UINT flags)
{
    questions_.push_back({which, Bounded(text, 4096), Bounded(caption, 4096), flags});
    auto scripted = answers_.find(which);
    return scripted == answers_.end() ? -1 : scripted->second;
}

void RecordingFrontEnd::notice(const char* text, const char* caption)
{
    notices_.push_back({Bounded(text, 4096), Bounded(caption, 4096)});
}

bool RecordingFrontEnd::poll(bool refreshNow)
{
    ++polls_;
    PumpWhenDue(refreshNow, lastRefresh_, refreshedOnce_);
    if (stopAtPoll_ > 0 && polls_ >= stopAtPoll_)
        ScanState.stopRequested = 1;
    return ScanState.stopRequested != 0;
}

bool RecordingFrontEnd::mayRemove(const char* path, const char* detectionName)
{
    removalsAsked_.emplace_back(Bounded(path, 4096), Bounded(detectionName, 4096));
    return !decide_ || decide_(removalsAsked_.back().first, removalsAsked_.back().second);
}

} // namespace scx::test
