#pragma once
// What the dialogue with the modem and the client's thread tell each other. The dialogue posts
// the events for the client's thread to raise, and reports on each set-up; the client's thread
// answers whether a sink took each message, asks for set-ups, and for the end.

#include <atomic>
#include <chrono>
#include <cstdint>
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
    // The PDUs it was made from. Once a sink has returned from it, the client's thread puts them
    // into the heard record (dialogue/HeardRecord.h) at once: a process killed before the
    // dialogue had the verdict then does not raise them again.
    std::vector<std::string> pdus;
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
    // It failed for good: the dialogue has stopped trying, until the client starts afresh.
    bool lasting = false;
};

// The client's side as the dialogue sees it. It raises each event posted, and for each message
// heard, records it as heard before it answers.
class DialogueClient {
  public:
    virtual void Post(Outgoing item) = 0;
    virtual std::vector<Verdict> TakeVerdicts() = 0;
    virtual bool TakeSetUpRequest() = 0;
    virtual void Report(SetUpReport report) = 0;
    virtual bool StopRequested() const = 0;
    // Set with the request to stop: a command then ends without waiting for its answer, and the
    // next one is not sent.
    virtual const std::atomic<bool>& StopFlag() const = 0;
    // Waits up to `wait` for news from the client: a verdict or a request.
    virtual void Idle(std::chrono::milliseconds wait) = 0;

  protected:
    ~DialogueClient() = default;
};

}  // namespace pelvaro
