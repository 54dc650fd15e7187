#pragma once
// The one way from a delivery to what the client gets.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "sms/DataCoding.h"
#include "sms/Delivery.h"
#include "sms/LongMessages.h"

namespace pelvaro {

// What a client is given for one message: the three arguments of OnNewSms, and what else the
// full reading found out, for tools.
struct ClientMessage {
    // Where a piece of `text` lies.
    struct Span {
        std::size_t start = 0;
        std::size_t length = 0;
    };

    std::u16string text;  // MsgText
    DataCoding coding;
    int parts = 1;  // how many parts were joined into it
    // Where the message text begins in `text`; npos in the default reading.
    std::size_t textStart = std::u16string::npos;
    // Sender and ServCenter: the fixed words "Sender" and "Center" in the default reading; in the
    // full reading the sender's number or name and the centre's number, which the summary holds
    // too, so that they cost no allocation of their own.
    bool fixedWords = true;
    Span senderSpan;
    Span centreSpan;
    // The time stamps' lines in the full reading, "2026-12-09 14:03:07 +01:00"; empty where the
    // message has none.
    Span sentSpan;
    Span dischargedSpan;
    // The caller's tags of the deliveries it was made from; empty when they were not tagged.
    std::vector<DeliveryTag> sources;

    std::u16string_view Sender() const;
    std::u16string_view Centre() const;
    std::u16string_view Sent() const;
    std::u16string_view Discharged() const;
};

// Reads deliveries into client messages.
//
// By default each is summarised as it always has been: the fixed words "Sender" and "Center", and
// the Windows-1252 summary. The full reading gives the sender's number or name and the centre's
// number, and a summary with the same lines and labels holding the real values: the text in every
// coding, and the parts of a long message joined into one message once all have come.
class MessageReader {
  public:
    using Clock = std::chrono::steady_clock;

    explicit MessageReader(bool fullDecoding = false, PartRepeats repeats = PartRepeats::Dropped)
        : full_(fullDecoding), longMessages_(repeats) {}
    bool FullDecoding() const { return full_; }

    // Appends to `ready` what `delivery` completes: nothing while a long message still waits for
    // parts, and the longest-waiting incomplete one when more than LongMessages::kMostHeld would
    // wait. False when the delivery holds no PDU. A `tag` other than 0 goes into the sources of
    // the message it becomes part of. A part whose message's other parts went out before
    // (`othersGone`) goes out at the next Expire, with what came with it.
    bool Read(const Delivery& delivery, Clock::time_point now, std::vector<ClientMessage>& ready,
              DeliveryTag tag = 0, bool othersGone = false);
    // Whether the delivery tagged `tag` waits, in a long message still incomplete.
    bool Holds(DeliveryTag tag) const { return longMessages_.Holds(tag); }

    // Appends the long messages whose newest part came LongMessages::kLongestWait or more before
    // `now`, with their missing parts marked.
    void Expire(Clock::time_point now, std::vector<ClientMessage>& ready);

    // Appends every long message still incomplete, oldest first, as when reception stops.
    void Flush(std::vector<ClientMessage>& ready);
    // The same while reception goes on (LongMessages::GiveOutAll).
    void GiveOutAll(Clock::time_point now, std::vector<ClientMessage>& ready) {
        longMessages_.GiveOutAll(now, ready);
    }
    // Whether a long message waits for parts.
    bool Waiting() const { return longMessages_.Held() > 0; }

  private:
    bool ReadFully(const Delivery& delivery, Clock::time_point now,
                   std::vector<ClientMessage>& ready, DeliveryTag tag, bool othersGone);

    bool full_;
    LongMessages longMessages_;
};

}  // namespace pelvaro
