// A front end for tests that call the scan, its checks or its repairs and do
// not test a window: it records every report, answers questions from a
// script and can ask for a stop at a chosen poll. It installs itself for its
// lifetime.
#pragma once
#include "scan/front_end.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace scx::test {

class RecordingFrontEnd final : public FrontEnd {
public:
    struct Event {
        bool isResult; // true: a result line; false: a status
        std::string text;
        StatusPace pace;
    };
    struct Question {
        FrontEndQuestion which;
        std::string text, caption;
        UINT flags;
    };
    struct Notice {
        std::string text, caption;
    };

    RecordingFrontEnd() : scope_(*this) {}
    RecordingFrontEnd(const RecordingFrontEnd&) = delete;
    RecordingFrontEnd& operator=(const RecordingFrontEnd&) = delete;

    // Scripts: an unscripted question is answered with -1, like no window.
    void Answer(FrontEndQuestion which, int answer) { answers_[which] = answer; }
    // From the pollNumber-th poll on (1 is the first) a stop has been asked
    // for, as if confirmed; 0 never.
    void StopAtPoll(int pollNumber) { stopAtPoll_ = pollNumber; }
    void SetAttached(bool attached) { attached_ = attached; }
    // Decides mayRemove; without it every removal is allowed.
    void DecideRemoval(std::function<bool(const std::string&, const std::string&)> decide)
    {
        decide_ = std::move(decide);
    }
    // Called with each status right after it is recorded, inside the walk.
    void OnStatus(std::function<void(const std::string&)> hook) { onStatus_ = std::move(hook); }

    const std::vector<std::string>& lines() const { return lines_; }
    const std::vector<std::string>& statuses() const { return statuses_; }
    const std::vector<Event>& events() const { return events_; }
    const std::vector<Question>& questions() const { return questions_; }
    const std::vector<Notice>& notices() const { return notices_; }
    const std::vector<std::pair<std::string, std::string>>& removalsAsked() const { return removalsAsked_; }
    int settles() const { return settles_; }
    int polls() const { return polls_; }
    void Clear();

    void resultLine(const char* text) override;
    void status(const char* text, StatusPace pace) override;
    void statusSettled() override { ++settles_; }
    int ask(FrontEndQuestion which, const char* text, const char* caption, UINT flags) override;
    void notice(const char* text, const char* caption) override;
    // Pumps what is waiting, as the dialog does, so queued keys still reach
    // the scan; then applies the scripted stop.
    bool poll(bool refreshNow) override;
    bool attached() override { return attached_; }
    bool mayRemove(const char* path, const char* detectionName) override;
    void notChecked(const char* path, const char* reason) override { notChecked_.emplace_back(path, reason); }
    // Files that could not be opened for checking: path and reason.
    const std::vector<std::pair<std::string, std::string>>& notCheckedFiles() const { return notChecked_; }

private:
    FrontEndScope scope_;
    std::map<FrontEndQuestion, int> answers_;
    int stopAtPoll_ = 0;
    bool attached_ = true;
    std::function<bool(const std::string&, const std::string&)> decide_;
    std::function<void(const std::string&)> onStatus_;
    std::vector<std::string> lines_, statuses_;
    std::vector<Event> events_;
    std::vector<Question> questions_;
    std::vector<Notice> notices_;
    std::vector<std::pair<std::string, std::string>> removalsAsked_;
    std::vector<std::pair<std::string, std::string>> notChecked_;
    int settles_ = 0;
    int polls_ = 0;
    DWORD lastRefresh_ = 0;
    bool refreshedOnce_ = false;
};

} // namespace scx::test
