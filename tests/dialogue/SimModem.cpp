#include "tests/dialogue/SimModem.h"

#include <algorithm>
#include <utility>

namespace pelvaro::sim {
namespace {

using namespace std::chrono_literals;

constexpr auto kAnswerAfter = 20ms;
constexpr auto kBootTime = 2s;
constexpr auto kAckTimeout = 20s;
// A network that could not deliver tries again after this.
constexpr auto kNetworkRetry = 20s;
// A memory that has room again is told to the network, which delivers what it held soon after.
constexpr auto kRoomReported = 2s;

const char* const kMemories[] = {"SM", "ME"};

std::string Line(const std::string& text) {
    return "\r\n" + text + "\r\n";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Unquoted(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The TPDU's length in octets: the PDU without its service-centre address.
std::string TpduLength(const std::string& pdu) {
    const std::size_t scaOctets = std::stoul(pdu.substr(0, 2), nullptr, 16);
    return std::to_string(pdu.size() / 2 - 1 - scaOctets);
}

}  // namespace

SimModem::SimModem(ModemOptions options, std::mt19937& random)
    : options_(std::move(options)), random_(random) {
    for (const char* memory : kMemories) memories_[memory];
    PowerOn();
}

void SimModem::PowerOn() {
    echo_ = options_.echo;
    phase_ = 0;
    mode_ = 1;
    mt_ = 0;
    mem1_ = "SM";
    mem3_ = options_.stores ? options_.storesIn : "";
}

void SimModem::Input(std::string_view bytes, Time now) {
    // A module that is starting reads nothing yet.
    if (!Plugged(now) || booting_) return;
    input_ += bytes;
    for (std::size_t end; (end = input_.find('\r')) != std::string::npos;) {
        std::string line = input_.substr(0, end);
        input_.erase(0, end + 1);
        if (!line.empty() && line[0] == '\n') line.erase(0, 1);
        if (!line.empty()) commands_.push_back(line);
    }
    StartNextCommand(now);
}

std::string SimModem::TakeOutput() {
    return std::exchange(output_, {});
}

// One command at a time: what comes meanwhile waits in the modem's buffer.
void SimModem::StartNextCommand(Time now) {
    if (working_ || booting_ || commands_.empty()) return;
    working_ = commands_.front();
    commands_.pop_front();
    if (echo_) Send(*working_ + "\r");
    // What touches the SIM may take seconds.
    const bool read = StartsWith(*working_, "AT+CMGR") || StartsWith(*working_, "AT+CMGL") ||
                      StartsWith(*working_, "AT+CPMS") || StartsWith(*working_, "AT+CMGD");
    Clock::duration after = kAnswerAfter;
    if (read && std::uniform_real_distribution<>(0, 1)(random_) < options_.slowReads) {
        after = std::chrono::milliseconds(std::uniform_int_distribution<>(5000, 7500)(random_));
    }
    replyAt_ = now + after;
}

Time SimModem::NextDue() const {
    Time next = Time::max();
    if (working_) next = std::min(next, replyAt_);
    if (booting_) next = std::min(next, bootedAt_);
    if (awaitingAck_) next = std::min(next, ackDeadline_);
    for (const auto& [at, sms] : network_) next = std::min(next, at);
    return next;
}

void SimModem::Advance(Time now) {
    for (Time due; (due = NextDue()) <= now;) {
        if (booting_ && due == bootedAt_) {
            booting_ = false;
            if (options_.announcesRestart) Send(Line("RDY"));
            StartNextCommand(due);
        } else if (working_ && due == replyAt_) {
            const std::string command = *std::exchange(working_, std::nullopt);
            Send(Execute(command));
            StartNextCommand(due);
        } else if (awaitingAck_ && due == ackDeadline_) {
            AckTimedOut(due);
        } else {
            const auto held = std::find_if(network_.begin(), network_.end(),
                                           [&](const auto& entry) { return entry.first == due; });
            const Sms sms = held->second;
            network_.erase(held);
            Route(sms, due);
        }
    }
}

void SimModem::Arrive(Sms sms, Time now) {
    Route(sms, now);
}

void SimModem::Restart(Time now) {
    // What was not acknowledged stays with the network; the storage stays as it was.
    if (awaitingAck_) network_.emplace_back(now + kNetworkRetry, *awaitingAck_);
    for (const Sms& sms : directQueue_) network_.emplace_back(now + kNetworkRetry, sms);
    awaitingAck_.reset();
    directQueue_.clear();
    working_.reset();
    commands_.clear();
    input_.clear();
    PowerOn();
    booting_ = true;
    bootedAt_ = now + kBootTime;
}

void SimModem::Unplug(Time now, Clock::duration duration) {
    // It comes back as a fresh device: a module that has started afresh, its storage kept.
    Restart(now);
    booting_ = false;
    output_.clear();
    unpluggedUntil_ = now + duration;
}

void SimModem::SayNoise(Time now) {
    if (!Plugged(now)) return;
    static const char* const kNoise[] = {"+XYZ: 1,2", "^NEWTHING: 3", "+CREG: 1", "^RSSI:17",
                                         "+CGEV: ME PDN ACT 1"};
    Send(Line(kNoise[std::uniform_int_distribution<>(0, 4)(random_)]));
}

void SimModem::Route(const Sms& sms, Time now) {
    if (!Plugged(now) || booting_) {
        network_.emplace_back(now + kNetworkRetry, sms);
        return;
    }
    // Status reports, and messages under mt 2, are routed straight on.
    if (sms.unit < 0 || mt_ == 2) {
        Deliver(sms, now);
        return;
    }
    // With nowhere to store, or no room, the network tries again later.
    if (mem3_.empty() || !Keep(sms, now, mt_ == 1)) network_.emplace_back(now + kNetworkRetry, sms);
}

bool SimModem::Keep(const Sms& sms, Time, bool announce) {
    Memory& memory = memories_[mem3_];
    int index = 1;
    while (memory.count(index)) ++index;
    if (index > options_.capacity) return false;
    memory[index] = {sms, 0};
    if (announce) Send(Line("+CMTI: " + Quoted(mem3_) + "," + std::to_string(index)));
    return true;
}

void SimModem::Deliver(const Sms& sms, Time now) {
    if (phase_ == 1 && awaitingAck_) {
        directQueue_.push_back(sms);
        return;
    }
    Send(Line((sms.unit < 0 ? "+CDS: " : "+CMT: ,") + TpduLength(sms.pdu)) + sms.pdu + "\r\n");
    // Under phase 2 it has left the modem now, with nothing to wait for.
    if (phase_ == 1) {
        awaitingAck_ = sms;
        ackDeadline_ = now + kAckTimeout;
    }
}

// The module stores what was not acknowledged where it can, and stops routing to the terminal.
void SimModem::AckTimedOut(Time now) {
    const Sms sms = *std::exchange(awaitingAck_, std::nullopt);
    mt_ = 0;
    if (sms.unit >= 0 && (mem3_.empty() || !Keep(sms, now, false))) {
        network_.emplace_back(now + kNetworkRetry, sms);
    }
    while (!directQueue_.empty()) {
        network_.emplace_back(now + kNetworkRetry, directQueue_.front());
        directQueue_.pop_front();
    }
}

std::string SimModem::Execute(const std::string& command) {
    const std::string ok = Line("OK");
    if (command == "AT") return ok;
    if (command == "ATE0" || command == "ATE1") {
        echo_ = command == "ATE1";
        return ok;
    }
    if (!StartsWith(command, "AT")) return Line("ERROR");
    const std::string body = command.substr(2);
    if (body == "+CPIN?") return Line("+CPIN: READY") + ok;
    if (body == "+CMGF=0") return ok;
    if (StartsWith(body, "+CSMS")) return Service(body);
    if (StartsWith(body, "+CPMS")) return Storage(body);
    if (StartsWith(body, "+CNMI")) return Routing(body);
    if (body == "+CMGL=4") return List();
    if (StartsWith(body, "+CMGR=")) return Read(body);
    if (StartsWith(body, "+CMGD=")) return Delete(body);
    if (body == "+CNMA") return Acknowledge();
    return Line("ERROR");
}

std::string SimModem::Service(const std::string& body) {
    if (body == "+CSMS=1" && options_.phase2Plus) {
        phase_ = 1;
        return Line("+CSMS: 1,1,1") + Line("OK");
    }
    if (body == "+CSMS=0") {
        phase_ = 0;
        return Line("+CSMS: 1,1,1") + Line("OK");
    }
    return Line("+CMS ERROR: 303");
}

int SimModem::Used(const std::string& memory) const {
    return static_cast<int>(memories_.at(memory).size());
}

std::string SimModem::Storage(const std::string& body) {
    if (!options_.stores)
        return Line(body == "+CPMS=?" ? "+CPMS: (),(),()" : "+CMS ERROR: 302") +
               (body == "+CPMS=?" ? Line("OK") : "");
    const std::string total = std::to_string(options_.capacity);
    const auto state = [&](const std::string& memory) {
        return std::to_string(Used(memory)) + "," + total;
    };
    if (body == "+CPMS=?") {
        return Line("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")") + Line("OK");
    }
    if (body == "+CPMS?") {
        return Line("+CPMS: " + Quoted(mem1_) + "," + state(mem1_) + "," + Quoted(mem1_) + "," +
                    state(mem1_) + "," + Quoted(mem3_) + "," + state(mem3_)) +
               Line("OK");
    }
    const std::string memory = Unquoted(body.substr(6, 4));
    if (!memories_.count(memory)) return Line("+CMS ERROR: 303");
    mem1_ = memory;
    return Line("+CPMS: " + state(mem1_) + "," + state(mem1_) + "," + state(mem3_)) + Line("OK");
}

std::string SimModem::Routing(const std::string& body) {
    if (body == "+CNMI=?") {
        return Line(options_.routesDirectly ? "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"
                                            : "+CNMI: (0-2),(0,1),(0),(0),(0,1)") +
               Line("OK");
    }
    if (body == "+CNMI?") {
        return Line("+CNMI: " + std::to_string(mode_) + "," + std::to_string(mt_) + ",0,0,0") +
               Line("OK");
    }
    const std::size_t comma = body.find(',');
    if (comma == std::string::npos) return Line("+CMS ERROR: 303");
    const int mt = std::stoi(body.substr(comma + 1));
    if ((mt == 1 && !options_.stores) || (mt >= 2 && !options_.routesDirectly)) {
        return Line("+CMS ERROR: 303");
    }
    mode_ = std::stoi(body.substr(6, comma - 6));
    mt_ = mt;
    return Line("OK");
}

std::string SimModem::List() {
    std::string text;
    for (auto& [index, stored] : memories_.at(mem1_)) {
        text += Line("+CMGL: " + std::to_string(index) + "," + std::to_string(stored.status) +
                     ",," + TpduLength(stored.sms.pdu)) +
                stored.sms.pdu + "\r\n";
        stored.status = 1;
    }
    return text + Line("OK");
}

std::string SimModem::Read(const std::string& body) {
    Memory& memory = memories_.at(mem1_);
    const auto found = memory.find(std::stoi(body.substr(6)));
    if (found == memory.end()) return Line("+CMS ERROR: 321");
    Stored& stored = found->second;
    const std::string text =
        Line("+CMGR: " + std::to_string(stored.status) + ",," + TpduLength(stored.sms.pdu)) +
        stored.sms.pdu + "\r\n";
    stored.status = 1;
    return text + Line("OK");
}

std::string SimModem::Delete(const std::string& body) {
    Memory& memory = memories_.at(mem1_);
    const auto found = memory.find(std::stoi(body.substr(6)));
    if (found == memory.end()) return Line("+CMS ERROR: 321");
    const int unit = found->second.sms.unit;
    memory.erase(found);
    if (onRemoved) onRemoved(unit, Removal::Deleted);
    // Room again: the network delivers what it held.
    for (auto& [at, sms] : network_) at = std::min(at, replyAt_ + kRoomReported);
    return Line("OK");
}

std::string SimModem::Acknowledge() {
    if (!awaitingAck_) return Line("+CMS ERROR: 340");
    const Sms sms = *std::exchange(awaitingAck_, std::nullopt);
    if (onRemoved && sms.unit >= 0) onRemoved(sms.unit, Removal::Acknowledged);
    const Time now = replyAt_;
    if (!directQueue_.empty()) {
        const Sms next = directQueue_.front();
        directQueue_.pop_front();
        Deliver(next, now);
    }
    return Line("OK");
}

bool SimModem::Empty() const {
    // Status reports are nobody's here: they may wait for an acknowledgement at the end.
    if (awaitingAck_ && awaitingAck_->unit >= 0) return false;
    for (const Sms& sms : directQueue_) {
        if (sms.unit >= 0) return false;
    }
    for (const auto& [at, sms] : network_) {
        if (sms.unit >= 0) return false;
    }
    for (const auto& [name, memory] : memories_) {
        if (!memory.empty()) return false;
    }
    return true;
}

std::string SimModem::Describe() const {
    std::string text = "stored:";
    for (const auto& [name, memory] : memories_) {
        for (const auto& [index, stored] : memory) {
            text += " " + name + std::to_string(index) + "=u" + std::to_string(stored.sms.unit);
        }
    }
    text += "; held by the network:";
    for (const auto& [at, sms] : network_) text += " u" + std::to_string(sms.unit);
    if (awaitingAck_)
        text += "; awaiting its acknowledgement: u" + std::to_string(awaitingAck_->unit);
    text += "; routing " + std::to_string(mode_) + "," + std::to_string(mt_);
    return text;
}

}  // namespace pelvaro::sim
