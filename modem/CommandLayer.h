#pragma once
// The AT command layer of the full dialogue. One command is in flight at a time; its answer is
// the lines up to its final result code, matched to it, within a deadline of its own. Everything
// else the modem says is unasked: each line means what one table says by its prefix, and what
// matters to the receiver (a delivery, an announcement, a restart, a SIM that became ready) is
// queued for it. Plain C++ over a byte wire, so that it is tested without a port.

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sms/Delivery.h"

namespace pelvaro {

// What carries bytes to and from the modem.
class ModemWire {
  public:
    virtual ~ModemWire() = default;
    virtual bool Send(std::string_view bytes) = 0;
    // Appends what arrives within a short wait (tens of milliseconds); false when the device
    // failed.
    virtual bool Receive(std::string& bytes) = 0;
};

// A command's answer.
struct Answer {
    // Its final result code ("OK", "+CMS ERROR: 321", "COMMAND NOT SUPPORT"); empty when none came
    // before the deadline.
    std::string result;
    // Its information lines, such as "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)".
    std::vector<std::string> lines;
    // The messages it listed or read, with their "+CMGL:" or "+CMGR:" headers.
    std::vector<KeptDelivery> stored;

    bool Ok() const { return result == "OK"; }
    bool Answered() const { return !result.empty(); }
    // The first information line that begins with `prefix` ("+CPMS"), or empty.
    std::string_view Line(std::string_view prefix) const;
};

// What the modem said unasked that the receiver acts on.
struct Unsolicited {
    enum class Kind {
        Delivery,      // "+CMT:" and its PDU: a message routed straight on
        Announcement,  // "+CMTI:": a message was stored at `memory`, `index`
        Restart,       // the module started afresh and forgot its set-up
        SimReady,      // the SIM was unlocked or has finished starting
    };
    Kind kind = Kind::Delivery;
    KeptDelivery delivery;
    std::string memory;
    int index = -1;
};

class CommandLayer {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kUsualDeadline = std::chrono::seconds(5);

    explicit CommandLayer(ModemWire& wire) : wire_(wire) {}
    CommandLayer(const CommandLayer&) = delete;
    CommandLayer& operator=(const CommandLayer&) = delete;

    // Sends "AT" and the command, and reads until its final result code comes or `deadline` has
    // passed; what comes unasked meanwhile is queued. Ends early, unanswered, once `cancelled`
    // (see CancelWith) is set or the wire has failed.
    Answer Run(std::string_view command, Clock::duration deadline = kUsualDeadline);
    // One short read, for what the modem says between commands.
    void Listen();
    // The oldest unasked event not yet taken.
    bool TakeUnsolicited(Unsolicited& next);

    // Whether the modem has sent anything at all yet.
    bool HeardAnything() const { return heardAnything_; }
    // Reads or writes failed several times in a row: the device is gone.
    bool Lost() const { return failuresInARow_ >= kFailuresForLost; }
    // Run returns unanswered as soon as this flag is set.
    void CancelWith(const std::atomic<bool>* cancelled) { cancelled_ = cancelled; }

  private:
    static constexpr int kFailuresForLost = 3;

    bool Receive();
    void Frame(bool ended);
    void TakeLine(std::string_view line);
    bool Cancelled() const { return cancelled_ && cancelled_->load(); }

    ModemWire& wire_;
    // Read text whose last line has not ended yet.
    std::string pending_;
    Clock::time_point pendingSince_{};
    // The command in flight: its echo, its name ("+CPMS"), and its answer so far.
    std::string echo_;
    std::string name_;
    Answer* answer_ = nullptr;
    std::deque<Unsolicited> unsolicited_;
    Clock::time_point lastHeard_ = Clock::now();
    Clock::duration silenceBefore_{};
    int failuresInARow_ = 0;
    bool heardAnything_ = false;
    const std::atomic<bool>* cancelled_ = nullptr;
};

}  // namespace pelvaro
