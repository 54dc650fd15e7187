#pragma once
// What is remembered of the PINs sent to the SIM. Three wrong PINs lock a SIM with its PUK, so a
// PIN that the SIM refused, or that went out and was never answered, is not sent again, by this
// process or any other of this user, until the settings name another one.

#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace pelvaro {

class PinRecord {
  public:
    enum class Fate {
        Unsent,      // not sent before, or sent before the SIM took a PIN
        Refused,     // the SIM refused it
        Unanswered,  // it went out, and no answer came
    };

    virtual ~PinRecord() = default;
    virtual Fate FateOf(std::string_view pin) = 0;
    // Before the PIN goes out it is recorded as unanswered; then as the SIM answered.
    virtual void Record(std::string_view pin, Fate fate) = 0;
    // The SIM took a PIN: it counts its tries afresh, and nothing recorded holds any more.
    virtual void Forget() = 0;
};

// A record that lives as long as its process: for tools and tests. The one that outlives the
// process is the platform's (modem/StoredPinRecord.h).
class PinRecordInMemory final : public PinRecord {
  public:
    Fate FateOf(std::string_view pin) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = fates_.find(std::string(pin));
        return found == fates_.end() ? Fate::Unsent : found->second;
    }
    void Record(std::string_view pin, Fate fate) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        fates_[std::string(pin)] = fate;
    }
    void Forget() override {
        const std::lock_guard<std::mutex> lock(mutex_);
        fates_.clear();
    }

  private:
    std::mutex mutex_;
    std::map<std::string, Fate> fates_;
};

}  // namespace pelvaro
