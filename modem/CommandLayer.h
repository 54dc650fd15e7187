#pragma once
// The AT command layer of the full dialogue. One command is in flight at a time; its answer is
// the lines up to its final result code, matched to it, within a deadline of its own. A command
// whose deadline passed stays in flight until its late answer has come (or the modem has
// plainly dropped it), so that no late answer is ever taken for the next command's. Everything
// else the modem says is unasked: each line means what one table says by its prefix, and what
// matters to the receiver (a delivery, a status report, an announcement, a restart, a SIM that
// became ready) is queued for it. Plain C++ over a byte wire and a clock, so that it is tested
// without a port, in simulated time.

#include <atomic>
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/ModemClock.h"
#include "sms/Delivery.h"

namespace pelvaro {

struct FramedItem;

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
    // The messages it listed or read, with their "+CMGL:" or "+CMGR:" headers; only for a command
    // run with Reply::Entries.
    std::vector<KeptDelivery> stored;
    // The command went out to the modem. One that did not changed nothing there.
    bool sent = false;

    bool Ok() const { return result == "OK"; }
    bool Answered() const { return !result.empty(); }
    // It went out and no answer came in time: whatever it may have changed in the modem is
    // unknown until it is set again.
    bool Unanswered() const { return sent && !Answered(); }
    // The first information line that begins with `prefix` ("+CPMS"), or empty.
    std::string_view Line(std::string_view prefix) const;
};

// What the modem said unasked that the receiver acts on.
struct Unsolicited {
    enum class Kind {
        Delivery,      // "+CMT:" and its PDU: a message routed straight on
        StatusReport,  // "+CDS:" and its PDU: for a message sent by someone, not for the client
        Announcement,  // "+CMTI:": a message was stored at `memory`, `index`
        Restart,       // the module started afresh and forgot its set-up
        SimReady,      // the SIM was unlocked or has finished starting
    };
    Kind kind = Kind::Delivery;
    KeptDelivery delivery;
    std::string memory;
    int index = -1;
    ModemClock::Clock::time_point at{};  // when it came
};

// What a command's answer holds besides lines: stored messages ("+CMGL", "+CMGR"), or not. Entries
// that come while no command that reads them is in flight are no message.
enum class Reply { Lines, Entries };

class CommandLayer {
  public:
    using Clock = ModemClock::Clock;
    static constexpr auto kUsualDeadline = std::chrono::seconds(5);
    // A late answer is waited for this long after its deadline; a modem that has not answered by
    // then has dropped the command (it restarted, or lost the line).
    static constexpr auto kLongestLateAnswer = std::chrono::seconds(20);

    explicit CommandLayer(ModemWire& wire, const ModemClock& clock = SteadyClock())
        : wire_(wire), clock_(clock), lastHeard_(clock.Now()) {}
    CommandLayer(const CommandLayer&) = delete;
    CommandLayer& operator=(const CommandLayer&) = delete;

    // Sends "AT" and the command, and reads until its final result code comes or `deadline` has
    // passed; what comes unasked meanwhile is queued. While an earlier command's late answer is
    // still due, the command waits for it within the same deadline, and is not sent when it does
    // not come. Not sent at all once cancelled (see CancelWith); ends early, unanswered, when
    // cancelled meanwhile or when the wire has failed.
    Answer Run(std::string_view command, Clock::duration deadline = kUsualDeadline,
               Reply reply = Reply::Lines);
    // Brings a link into step whose modem may still be answering another's command: a process
    // that died waiting for a slow answer, a port opened afresh. Echo is switched on (ATE1), so
    // that a final result that comes before a command's echo is known for another's.
    void Synchronise();
    // One short read, for what the modem says between commands.
    void Listen();
    // The oldest unasked event not yet taken.
    bool TakeUnsolicited(Unsolicited& next);
    // A delivery or status report waits to be taken: the modem has delivered again since the
    // ones taken, and an AT+CNMA now would acknowledge it.
    bool DeliveryQueued() const;

    // Whether the modem has sent anything at all yet.
    bool HeardAnything() const { return heardAnything_; }
    // Reads or writes failed several times in a row: the device is gone.
    bool Lost() const { return failuresInARow_ >= kFailuresForLost; }
    // Run returns unanswered as soon as this flag is set, and sends nothing while it is.
    void CancelWith(const std::atomic<bool>* cancelled) { cancelled_ = cancelled; }
    // An answer is still due for a command whose deadline passed.
    bool AnswerDue() const { return overdue_.has_value(); }
    // How many answers came after their command's deadline: a modem that is there, only slow.
    unsigned LateAnswers() const { return lateAnswers_; }
    Clock::time_point Now() const { return clock_.Now(); }

  private:
    static constexpr int kFailuresForLost = 3;

    bool AwaitOverdue(Clock::time_point end);
    bool Receive();
    void Frame(bool ended);
    void TakeItem(const FramedItem& item);
    void TakeDelivery(const FramedItem& item);
    void TakeLine(std::string_view line);
    void TakeFinalResult(std::string_view line);
    // The modem is answering the command in flight: it has echoed it, or it does not echo.
    bool Answering() const { return answer_ && (echoSeen_ || !echoes_); }
    void Queue(Unsolicited event);
    bool Cancelled() const { return cancelled_ && cancelled_->load(); }

    ModemWire& wire_;
    const ModemClock& clock_;
    // Read text whose last line has not ended yet.
    std::string pending_;
    Clock::time_point pendingSince_{};
    // The command in flight: its echo, its name ("+CPMS"), what it reads, and its answer so far.
    std::string echo_;
    std::string name_;
    Reply reply_ = Reply::Lines;
    Answer* answer_ = nullptr;
    // Its echo came. A modem that echoes sends the echo before the answer: a final result before
    // it is a stray, for an older command.
    bool echoSeen_ = false;
    bool strayResult_ = false;
    bool echoes_ = false;
    // Counts the module's new starts: a command in flight then is answered by nobody.
    unsigned restarts_ = 0;
    unsigned lateAnswers_ = 0;
    // Since when the answer of the last command whose deadline passed is due.
    std::optional<Clock::time_point> overdue_;
    // A "+CMT:" header whose PDU line was late, and a "+CDS:" header: what the next PDU line is.
    std::optional<std::pair<std::string, Clock::time_point>> headerAwaitingPdu_;
    bool statusReportFollows_ = false;
    std::deque<Unsolicited> unsolicited_;
    Clock::time_point lastHeard_;
    Clock::duration silenceBefore_{};
    int failuresInARow_ = 0;
    bool heardAnything_ = false;
    const std::atomic<bool>* cancelled_ = nullptr;
};

}  // namespace pelvaro
