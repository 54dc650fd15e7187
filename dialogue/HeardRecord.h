#pragma once
// The messages that a sink returned from, for an hour. It outlives the process where the platform
// allows (server/receiver/StoredHeardRecord.h): a client killed after its handler returned, and
// before the modem let go of the message, does not get that message again when it starts anew.
// The client's thread writes it, the dialogue's reads it.

#include <mutex>
#include <string_view>

#include "sms/RepeatFilter.h"

namespace pelvaro {

class HeardRecord {
  public:
    using Clock = RepeatFilter::Clock;

    virtual ~HeardRecord() = default;
    // Whether the message in `pdu` was heard within the hour before `now`.
    virtual bool Heard(std::string_view pdu, Clock::time_point now) = 0;
    // Whether another part of the long message that `pdu` is a part of was heard so.
    virtual bool OtherPartHeard(std::string_view pdu, Clock::time_point now) = 0;
    virtual void Remember(std::string_view pdu, Clock::time_point now) = 0;
};

// For as long as the process lives: for tools and tests.
class HeardInProcess final : public HeardRecord {
  public:
    bool Heard(std::string_view pdu, Clock::time_point now) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        return heard_.Seen(pdu, now);
    }
    bool OtherPartHeard(std::string_view pdu, Clock::time_point now) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        return heard_.SeenOtherPart(pdu, now);
    }
    void Remember(std::string_view pdu, Clock::time_point now) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        heard_.Remember(pdu, now);
    }

  private:
    std::mutex mutex_;
    RepeatFilter heard_;
};

}  // namespace pelvaro
