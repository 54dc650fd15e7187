#pragma once
// What the reception's thread and the client's thread tell each other (dialogue/DialogueClient.h),
// under one lock.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "dialogue/DialogueClient.h"

namespace pelvaro {

class ReceptionMailbox final : public DialogueClient {
  public:
    // `wake` is called on the reception's thread after each post, to wake the client's thread.
    explicit ReceptionMailbox(std::function<void()> wake) : wake_(std::move(wake)) {}
    ReceptionMailbox(const ReceptionMailbox&) = delete;
    ReceptionMailbox& operator=(const ReceptionMailbox&) = delete;

    // ---- the reception's thread
    void Post(Outgoing item) override;
    std::vector<Verdict> TakeVerdicts() override;
    bool TakeSetUpRequest() override;
    void Report(SetUpReport report) override;
    bool StopRequested() const override { return stop_.load(); }
    const std::atomic<bool>& StopFlag() const override { return stop_; }
    void Idle(std::chrono::milliseconds wait) override;
    void Finished();

    // ---- the client's thread
    bool Take(Outgoing& item);
    void Answer(Verdict verdict);
    // Asks for a set-up and waits for its report.
    SetUpReport SetUp();
    // Waits for the report of the set-up the reception's thread makes first.
    SetUpReport FirstReport();
    void RequestStop();
    // Waits for the next event, or for the reception's thread to finish: false then.
    bool WaitForItem(Outgoing& item);

  private:
    std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Outgoing> items_;
    std::vector<Verdict> verdicts_;
    std::atomic<bool> stop_{false};
    bool setUpRequested_ = false;
    bool reported_ = false;
    bool finished_ = false;
    SetUpReport report_;
    // Counts what the client's thread said, so that Idle wakes for what it has not seen.
    unsigned news_ = 0;
    unsigned newsSeen_ = 0;
};

}  // namespace pelvaro
