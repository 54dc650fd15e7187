#pragma once
// What the reception's thread and the client's thread tell each other. The reception's thread
// posts the events for the client's thread to raise, and reports on each set-up; the client's
// thread answers whether a sink took each message, asks for set-ups, and for the end.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sms/ClientMessage.h"

namespace pelvaro {

// One event for the client's thread to raise.
struct Outgoing {
    enum class Kind { NewSms, TestEvent };
    Kind kind = Kind::NewSms;
    std::uint64_t id = 0;
    ClientMessage message;
};

// What became of a raised message: whether at least one sink returned from it without failing.
struct Verdict {
    std::uint64_t id = 0;
    bool heard = false;
};

// How a set-up ended, for StartReceiving.
struct SetUpReport {
    enum class Kind { Receiving, Waiting, Failed };
    Kind kind = Kind::Failed;
    std::string why;  // for the client's error information when it failed
    int port = 0;     // the COM port it is on
};

class ReceptionMailbox {
  public:
    // `wake` is called on the reception's thread after each post, to wake the client's thread.
    explicit ReceptionMailbox(std::function<void()> wake) : wake_(std::move(wake)) {}
    ReceptionMailbox(const ReceptionMailbox&) = delete;
    ReceptionMailbox& operator=(const ReceptionMailbox&) = delete;

    // ---- the reception's thread
    void Post(Outgoing item);
    std::vector<Verdict> TakeVerdicts();
    bool TakeSetUpRequest();
    void Report(SetUpReport report);
    bool StopRequested() const { return stop_.load(); }
    // Set along with the request to stop: a command then ends without waiting for its answer.
    const std::atomic<bool>& Hurry() const { return stop_; }
    // Waits up to `ms` for news from the client's thread: a verdict or a request.
    void Idle(unsigned ms);
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
