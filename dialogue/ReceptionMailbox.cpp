#include "dialogue/ReceptionMailbox.h"

#include <chrono>
#include <utility>

namespace pelvaro {

void ReceptionMailbox::Post(Outgoing item) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(std::move(item));
    }
    changed_.notify_all();
    wake_();
}

std::vector<Verdict> ReceptionMailbox::TakeVerdicts() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(verdicts_, {});
}

bool ReceptionMailbox::TakeSetUpRequest() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(setUpRequested_, false);
}

void ReceptionMailbox::Report(SetUpReport report) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        report_ = std::move(report);
        reported_ = true;
    }
    changed_.notify_all();
}

void ReceptionMailbox::Idle(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return news_ != newsSeen_; });
    newsSeen_ = news_;
}

void ReceptionMailbox::Finished() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        reported_ = true;
    }
    changed_.notify_all();
}

bool ReceptionMailbox::Take(Outgoing& item) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
    return true;
}

void ReceptionMailbox::Answer(Verdict verdict) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        verdicts_.push_back(verdict);
        ++news_;
    }
    changed_.notify_all();
}

SetUpReport ReceptionMailbox::SetUp() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (finished_) return {SetUpReport::Kind::Failed, "reception has stopped", 0};
    reported_ = false;
    setUpRequested_ = true;
    ++news_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return reported_; });
    return report_;
}

SetUpReport ReceptionMailbox::FirstReport() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return reported_; });
    return report_;
}

void ReceptionMailbox::RequestStop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        ++news_;
    }
    changed_.notify_all();
}

bool ReceptionMailbox::WaitForItem(Outgoing& item) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return finished_ || !items_.empty(); });
    if (items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
    return true;
}

}  // namespace pelvaro
