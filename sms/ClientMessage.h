#pragma once
// The one way from a delivery to what the client gets.

#include <chrono>
#include <string>
#include <vector>

#include "sms/Delivery.h"

namespace pelvaro {

// What a client is given for one message: the three arguments of OnNewSms.
struct ClientMessage {
    std::u16string sender;
    std::u16string centre;
    std::u16string text;
};

// Reads deliveries into client messages. By default each is summarised as it always has been:
// the fixed words "Sender" and "Center", and the summary text.
class MessageReader {
  public:
    using Clock = std::chrono::steady_clock;

    // Appends to `ready` what `delivery` completes. False when it holds no PDU.
    bool Read(const Delivery& delivery, Clock::time_point now, std::vector<ClientMessage>& ready);
};

}  // namespace pelvaro
