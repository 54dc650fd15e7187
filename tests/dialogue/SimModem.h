#pragma once
// A GSM modem and its network in simulated time, for the dialogue's host tests: the commands the
// full dialogue gives, storage in two memories that fill, routing with and without
// acknowledgements, and the faults that come together in the field: replies after the deadline,
// restarts, silent routing drops, an unplugged port that comes back as a fresh device, unknown
// lines and status reports. It tells the test each message that leaves it, and how.

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace pelvaro::sim {

using Clock = std::chrono::steady_clock;
using Time = Clock::time_point;

// What the network brings: a message, a part of a long one, or a status report (unit -1).
struct Sms {
    int unit = -1;
    std::string pdu;
};

struct ModemOptions {
    bool stores = true;          // offers SM and ME; else direct routing only
    bool namesMemories = true;   // AT+CPMS=? names them; else it offers none, and stores in SM
    bool routesDirectly = true;  // AT+CNMI=? offers direct routing
    bool phase2Plus = true;      // takes AT+CSMS=1, and then waits for acknowledgements
    bool echo = true;
    bool announcesRestart = true;
    std::string storesIn = "SM";  // mem3 at power-on: "ME" for a stick that stores in the phone
    int capacity = 10;            // places in each memory
    double slowReads = 0;         // the share of reads and deletions answered 5 to 7.5 s late
};

class SimModem {
  public:
    // How a message left the modem: deleted from its storage, or acknowledged as delivered.
    enum class Removal { Deleted, Acknowledged };
    std::function<void(int unit, Removal how)> onRemoved;

    SimModem(ModemOptions options, std::mt19937& random);

    // ---- the port
    bool Plugged(Time now) const { return now >= unpluggedUntil_; }
    void Input(std::string_view bytes, Time now);
    std::string TakeOutput();
    bool HasOutput() const { return !output_.empty(); }

    // ---- time: what is due at `now` happens; the next time anything is due
    void Advance(Time now);
    Time NextDue() const;

    // ---- the network and the faults
    void Arrive(Sms sms, Time now);
    void Restart(Time now);
    void DropRouting() { mt_ = 0; }
    void Unplug(Time now, Clock::duration duration);
    void SayNoise(Time now);

    // Nothing is stored, held by the network, or waiting for its acknowledgement.
    bool Empty() const;
    std::string Describe() const;

  private:
    struct Stored {
        Sms sms;
        int status = 0;  // 0 unread, 1 read
    };
    using Memory = std::map<int, Stored>;

    void PowerOn();
    void StartNextCommand(Time now);
    std::string Execute(const std::string& command);
    std::string Storage(const std::string& body);
    std::string Routing(const std::string& body);
    std::string Service(const std::string& body);
    std::string List();
    std::string Read(const std::string& body);
    std::string Delete(const std::string& body);
    std::string Acknowledge();
    void Route(const Sms& sms, Time now);
    bool Keep(const Sms& sms, Time now, bool announce);
    void Deliver(const Sms& sms, Time now);
    void AckTimedOut(Time now);
    void Send(const std::string& text) { output_ += text; }
    int Used(const std::string& memory) const;

    ModemOptions options_;
    std::mt19937& random_;
    std::string output_;
    std::string input_;
    std::deque<std::string> commands_;
    // The command being worked on, answered at `replyAt`.
    std::optional<std::string> working_;
    Time replyAt_{};
    Time bootedAt_{};
    bool booting_ = false;
    Time unpluggedUntil_{};
    // The network: what it holds back, and when it tries again.
    std::vector<std::pair<Time, Sms>> network_;
    // Routed straight on and not acknowledged yet, and what waits behind it.
    std::optional<Sms> awaitingAck_;
    Time ackDeadline_{};
    std::deque<Sms> directQueue_;
    // The module's volatile set-up.
    bool echo_ = true;
    int phase_ = 0;
    int mode_ = 1;
    int mt_ = 0;
    std::string mem1_, mem3_;
    std::map<std::string, Memory> memories_;
};

}  // namespace pelvaro::sim
