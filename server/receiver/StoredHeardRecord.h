#pragma once
// The messages heard within the last hour, for every process of this user: the registry value
// "Messages heard" under HKEY_CURRENT_USER\Software\Pelvaro, which holds each message's identity
// (a hash, not its text), what long message it is a part of (a hash too), and when it was heard.

#include <cstdint>
#include <mutex>
#include <vector>

#include "dialogue/HeardRecord.h"

namespace pelvaro {

class StoredHeardRecord final : public HeardRecord {
  public:
    // Reads what other processes of this user heard.
    StoredHeardRecord();

    bool Heard(std::string_view pdu, Clock::time_point now) override;
    bool OtherPartHeard(std::string_view pdu, Clock::time_point now) override;
    void Remember(std::string_view pdu, Clock::time_point now) override;

  private:
    struct Entry {
        std::uint64_t identity;
        std::uint64_t family;  // LongMessagePart's, 0 for no long message
        std::uint64_t sequence;
        std::uint64_t heardAt;  // FILETIME
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace pelvaro
