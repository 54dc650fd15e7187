#include "tests/dialogue/DialogueSimulation.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "dialogue/FullDialogue.h"
#include "modem/PinRecord.h"
#include "tests/dialogue/SimModem.h"

namespace pelvaro::sim {
namespace {

using namespace std::chrono_literals;

// Faults and messages come within this; then the world is left in peace until everything has
// been heard and has left the modem, or until the longest run is over.
constexpr auto kFaultsFor = 40s;
// A part of a long message whose other parts were heard by a client that was killed waits for
// them as long as LongMessages::kLongestWait.
constexpr auto kLongestRun = kFaultsFor + 15min;
// A read of the port waits this long at most, less when the modem says something.
constexpr auto kReadWait = 50ms;
constexpr auto kOpening = 100ms;
// A killed client is started again this soon; one whose sink failed, or whose start failed,
// starts again after the other.
constexpr auto kRestartAfterKill = 2s;
constexpr auto kStartAgainAfter = 5s;
// The sender of every message, as TP-OA.
constexpr char kSender[] = "0B914151551512F2";

// Thrown through the dialogue when its process dies.
struct Killed {};

std::string Hex(const std::vector<std::uint8_t>& octets) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t octet : octets) {
        text += kDigits[octet >> 4];
        text += kDigits[octet & 15];
    }
    return text;
}

std::string Octet(unsigned value) {
    return Hex({static_cast<std::uint8_t>(value)});
}

// Two decimal digits as a time stamp holds them, swapped.
std::string Swapped(unsigned value) {
    return std::to_string(value % 10) + std::to_string(value / 10 % 10);
}

// A time stamp of its own for each unit, so that no two are one message.
std::string TimeStamp(int unit) {
    const unsigned n = static_cast<unsigned>(unit);
    return "622190" + Swapped(10 + n / 3600) + Swapped(n / 60 % 60) + Swapped(n % 60) + "00";
}

std::string SevenBit(const std::string& text) {
    std::vector<std::uint8_t> octets;
    unsigned bits = 0;
    std::uint32_t pending = 0;
    for (const char c : text) {
        pending |= (static_cast<std::uint32_t>(c) & 0x7F) << bits;
        for (bits += 7; bits >= 8; bits -= 8, pending >>= 8) {
            octets.push_back(static_cast<std::uint8_t>(pending));
        }
    }
    if (bits > 0) octets.push_back(static_cast<std::uint8_t>(pending));
    return Octet(static_cast<unsigned>(text.size())) + Hex(octets);
}

std::string SinglePdu(int unit, const std::string& text) {
    return "0004" + std::string(kSender) + "0000" + TimeStamp(unit) + SevenBit(text);
}

std::string PartPdu(int unit, int reference, int sequence, int count, const std::string& text) {
    std::string units;
    for (const char c : text) units += "00" + Octet(static_cast<unsigned char>(c));
    return "0044" + std::string(kSender) + "0008" + TimeStamp(unit) +
           Octet(static_cast<unsigned>(6 + 2 * text.size())) + "050003" +
           Octet(static_cast<unsigned>(reference)) + Octet(static_cast<unsigned>(count)) +
           Octet(static_cast<unsigned>(sequence)) + units;
}

// A status report on a message sent from the modem, with its discharge time.
std::string StatusReportPdu(int unit) {
    return "00062A" + std::string(kSender) + TimeStamp(unit) + TimeStamp(unit) + "00";
}

// The tokens a raised message's text holds: "s3" for a message, "L4.1", "L4.2" for the parts of
// a long one, whose gaps ("[…]") hold none.
std::vector<std::string> Tokens(const std::u16string& text) {
    std::string narrow;
    for (const char16_t unit : text) narrow += unit < 0x80 ? static_cast<char>(unit) : '?';
    const std::size_t at = narrow.rfind("Text: ");
    std::string rest = at == std::string::npos ? narrow : narrow.substr(at + 6);
    for (std::size_t gap; (gap = rest.find("[?]")) != std::string::npos;) rest.erase(gap, 3);
    std::vector<std::string> tokens;
    for (std::size_t start = 0; start < rest.size();) {
        const std::size_t end = std::min(rest.find(';', start), rest.size());
        if (end > start) tokens.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    return tokens;
}

class World;

// PELVARO_SIM_TRACE=1 prints the dialogue of a schedule run alone, to see why a seed fails.
void Trace(const World& world, const char* direction, std::string_view bytes);

// The client's thread: each event posted is raised after the one before it has returned, and
// its handler takes its time.
class SimClient final : public DialogueClient {
  public:
    struct Handling {
        Outgoing item;
        Time start, end;
        bool heard = true;
        bool started = false;
    };

    explicit SimClient(World& world) : world_(world) {}

    void Post(Outgoing item) override;
    std::vector<Verdict> TakeVerdicts() override;
    bool TakeSetUpRequest() override;
    void Report(SetUpReport report) override {
        Trace(world_, "**", "set-up reported: " + report.why);
        reports_.push_back(std::move(report));
    }
    bool StopRequested() const override { return stop_; }
    const std::atomic<bool>& StopFlag() const override { return stop_; }
    void Idle(std::chrono::milliseconds wait) override;

    void Advance(Time now);
    Time NextDue() const;
    bool Idle() const { return handlings_.empty(); }
    void StartAgainAt(Time at) { startAgainAt_ = at; }
    void Stop() { stop_ = true; }
    bool Started() const {
        return !reports_.empty() && reports_.front().kind != SetUpReport::Kind::Failed;
    }

  private:
    World& world_;
    std::deque<Handling> handlings_;
    std::vector<Verdict> verdicts_;
    std::vector<SetUpReport> reports_;
    std::optional<Time> startAgainAt_;
    bool setUpRequested_ = false;
    std::atomic<bool> stop_{false};
};

class World final : public ModemClock {
  public:
    explicit World(std::uint32_t seed);
    Outcome Run();

    Time Now() const override { return now_; }
    // Time passes by `wait`, or until the modem says something when `untilOutput`; what is due
    // meanwhile happens, and a process that is to die dies.
    void Pass(Clock::duration wait, bool untilOutput = false);
    SimModem& Modem() { return modem_; }
    unsigned PlugGeneration() const { return plugGeneration_; }
    bool Alive(unsigned generation) const {
        return modem_.Plugged(now_) && generation == plugGeneration_;
    }
    PinRecord& Pins() { return pins_; }
    HeardRecord& Heard() { return heard_; }

    void Excuse(const std::string& lost);
    // The client's side: how a handler runs, and what it saw.
    void Plan(SimClient::Handling& handling);
    void Raised(const SimClient::Handling& handling);
    void Returned(const SimClient::Handling& handling);

  private:
    struct Unit {
        std::string pdu;
        bool heard = false;
        bool raised = false;
        bool excused = false;  // lost before Pelvaro could read it
    };
    struct Process;

    void PlanSchedule();
    void At(Time at, std::function<void()> action) { events_.emplace(at, std::move(action)); }
    void Happen();
    Time NextDue() const;
    void Removed(int unit, SimModem::Removal how);
    void Violated(const std::string& what);
    bool Settled() const;
    std::string Finally();

    std::uint32_t seed_;
    std::mt19937 random_;
    ModemOptions options_;
    SimModem modem_;
    LinkSettings settings_;
    // What outlives a process: the platform keeps it for the user.
    PinRecordInMemory pins_;
    HeardInProcess heard_;
    Time now_{};
    Time end_;
    std::multimap<Time, std::function<void()>> events_;
    std::map<std::string, int> tokens_;  // token to unit
    std::vector<Unit> units_;
    std::unique_ptr<Process> process_;
    // What this process has raised: whether each token's verdict is still to come.
    std::map<std::string, bool> raisedHere_;
    std::optional<Time> killAt_;
    std::optional<Time> closeAt_;
    bool closing_ = false;
    // Whether the modem keeps what the client has not heard: the client may then fail.
    bool lossless_ = true;
    int killsInHandlers_ = 0;
    int kills_ = 0;
    int duplicates_ = 0;
    unsigned plugGeneration_ = 0;
    std::string failure_;
};

class SimWire final : public ModemWire {
  public:
    SimWire(World& world) : world_(world), generation_(world.PlugGeneration()) {}
    bool Send(std::string_view bytes) override {
        world_.Pass(0ms);
        if (!world_.Alive(generation_)) return false;
        Trace(world_, "->", bytes);
        world_.Modem().Input(bytes, world_.Now());
        return true;
    }
    bool Receive(std::string& bytes) override {
        // What the modem says ends the wait only where this handle can read it.
        world_.Pass(kReadWait, world_.Alive(generation_));
        // A handle to a device that went away stays dead when it comes back.
        if (!world_.Alive(generation_)) return false;
        const std::string said = world_.Modem().TakeOutput();
        Trace(world_, "<-", said);
        bytes += said;
        return true;
    }

  private:
    World& world_;
    const unsigned generation_;
};

class SimLink final : public ModemLink {
  public:
    explicit SimLink(World& world) : wire_(world), layer_(wire_, world) {}
    CommandLayer& Layer() override { return layer_; }
    int Port() const override { return 1; }

  private:
    SimWire wire_;
    CommandLayer layer_;
};

class SimOpener final : public LinkOpener {
  public:
    explicit SimOpener(World& world) : world_(world) {}
    std::unique_ptr<ModemLink> Open(const std::atomic<bool>&, std::string& why) override {
        world_.Pass(kOpening);
        if (!world_.Modem().Plugged(world_.Now())) {
            why = "COM1 could not be opened";
            return nullptr;
        }
        world_.Excuse(world_.Modem().TakeOutput());  // what came while it was closed is gone
        return std::make_unique<SimLink>(world_);
    }

  private:
    World& world_;
};

struct World::Process {
    Process(World& world, const LinkSettings& settings)
        : client(world),
          opener(world),
          dialogue(settings, client, {opener, world.Pins(), world.Heard(), world}) {}
    SimClient client;
    SimOpener opener;
    FullDialogue dialogue;
};

void SimClient::Post(Outgoing item) {
    const Time after = handlings_.empty() ? world_.Now() : handlings_.back().end;
    Handling& handling = handlings_.emplace_back();
    handling.item = std::move(item);
    handling.start = std::max(after, world_.Now()) + 1ms;
    world_.Plan(handling);
}

std::vector<Verdict> SimClient::TakeVerdicts() {
    world_.Pass(0ms);
    return std::exchange(verdicts_, {});
}

bool SimClient::TakeSetUpRequest() {
    if (!setUpRequested_) return false;
    Trace(world_, "**", "StartReceiving again");
    setUpRequested_ = false;
    return true;
}

void SimClient::Idle(std::chrono::milliseconds wait) {
    world_.Pass(wait);
}

void SimClient::Advance(Time now) {
    if (startAgainAt_ && now >= *startAgainAt_) {
        startAgainAt_.reset();
        setUpRequested_ = true;
    }
    while (!handlings_.empty()) {
        Handling& handling = handlings_.front();
        if (!handling.started && handling.start <= now) {
            handling.started = true;
            world_.Raised(handling);
        }
        if (!handling.started || handling.end > now) return;
        world_.Returned(handling);
        if (handling.item.kind == Outgoing::Kind::NewSms) {
            if (handling.heard) {
                for (const std::string& pdu : handling.item.pdus) world_.Heard().Remember(pdu, now);
            }
            verdicts_.push_back({handling.item.id, handling.heard});
        }
        handlings_.pop_front();
    }
}

Time SimClient::NextDue() const {
    Time next = startAgainAt_.value_or(Time::max());
    if (!handlings_.empty()) {
        const Handling& handling = handlings_.front();
        next = std::min(next, handling.started ? handling.end : handling.start);
    }
    return next;
}

ModemOptions OptionsFor(std::mt19937& random) {
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };
    ModemOptions options;
    options.stores = chance(0.85);
    // A modem that stores but names no memory, and one that routes nothing straight on: with
    // both it is read by listing its storage now and then.
    options.namesMemories = chance(0.9);
    options.routesDirectly = options.stores ? chance(0.9) : true;
    options.phase2Plus = chance(0.8);
    options.echo = chance(0.8);
    options.announcesRestart = chance(0.7);
    options.storesIn = chance(0.3) ? "ME" : "SM";
    options.capacity = std::uniform_int_distribution<>(2, 10)(random);
    options.slowReads = chance(0.5) ? std::uniform_real_distribution<>(0.05, 0.3)(random) : 0;
    return options;
}

World::World(std::uint32_t seed)
    : seed_(seed), random_(seed), options_(OptionsFor(random_)), modem_(options_, random_) {
    settings_.fullModemSupport = true;
    settings_.fullDecoding = std::bernoulli_distribution(0.5)(random_);
    modem_.onRemoved = [this](int unit, SimModem::Removal how) { Removed(unit, how); };
    end_ = now_ + kLongestRun;
    PlanSchedule();
}

void World::PlanSchedule() {
    const auto when = [&] {
        return now_ +
               std::chrono::milliseconds(std::uniform_int_distribution<>(
                   0, static_cast<int>(std::chrono::milliseconds(kFaultsFor).count()))(random_));
    };
    const auto count = [&](int most) { return std::uniform_int_distribution<>(0, most)(random_); };
    const auto arrive = [&](Time at, int unit) {
        At(at, [this, unit] {
            Trace(*this, "**", "the network brings u" + std::to_string(unit));
            modem_.Arrive({unit, units_[unit].pdu}, now_);
        });
    };
    // Long messages only where the modem stores: under direct routing a part waiting for the rest
    // must be acknowledged, and a client killed meanwhile loses it.
    const bool longMessages = settings_.fullDecoding && options_.stores;
    const int messages = 3 + count(5);
    for (int message = 0; message < messages; ++message) {
        const Time at = when();
        const int parts = longMessages && count(2) == 0 ? 2 + count(1) : 1;
        for (int part = 1; part <= parts; ++part) {
            const int unit = static_cast<int>(units_.size());
            const std::string token =
                parts == 1 ? "s" + std::to_string(unit)
                           : "L" + std::to_string(message) + "." + std::to_string(part);
            tokens_[token] = unit;
            units_.push_back({parts == 1 ? SinglePdu(unit, token)
                                         : PartPdu(unit, message, part, parts, token + ";")});
            arrive(at + std::chrono::milliseconds(count(5000)), unit);
        }
    }
    for (int n = count(2); n > 0; --n) {
        const int unit = 1000 + n;
        At(when(), [this, unit] { modem_.Arrive({-1, StatusReportPdu(unit)}, now_); });
    }
    for (int n = count(5); n > 0; --n) At(when(), [this] { modem_.SayNoise(now_); });
    for (int n = count(2); n > 0; --n) {
        At(when(), [this] {
            Trace(*this, "**", "modem restarts");
            modem_.Restart(now_);
        });
    }
    for (int n = count(2); n > 0; --n) {
        At(when(), [this] {
            Trace(*this, "**", "routing dropped");
            modem_.DropRouting();
        });
    }
    if (count(2) == 0) {
        const auto lasting = std::chrono::seconds(2 + count(13));
        At(when(), [this, lasting] {
            Trace(*this, "**", "unplugged");
            Excuse(modem_.TakeOutput());
            modem_.Unplug(now_, lasting);
            ++plugGeneration_;
        });
    }
    // The client closes now and then, and starts again: what was read and not raised yet is
    // raised before the close.
    if (count(2) == 0) closeAt_ = when();
    // Under phase 2 with direct routing a message read and not yet heard is only in the client:
    // a kill loses it. Nothing else may lose one.
    lossless_ = options_.stores || options_.phase2Plus;
    if (!lossless_) return;
    killsInHandlers_ = count(2);
    if (count(3) == 0) killAt_ = when();
}

// Under phase 2 with direct routing, what the modem sends while no port is open to it, or as it
// is unplugged, is lost with the modem's own words; Pelvaro never had it.
void World::Excuse(const std::string& lost) {
    if (lossless_) return;
    for (Unit& unit : units_) {
        if (lost.find(unit.pdu) != std::string::npos) unit.excused = true;
    }
}

void World::Plan(SimClient::Handling& handling) {
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(random_); };
    // Now and then a handler that shows a message box, and outlasts the modem's patience.
    const auto takes = std::chrono::milliseconds(
        chance(0.1) ? std::uniform_int_distribution<>(25000, 60000)(random_)
                    : std::uniform_int_distribution<>(2, 50)(random_));
    handling.end = handling.start + takes;
    if (handling.item.kind != Outgoing::Kind::NewSms) return;
    // Under phase 2 with direct routing a message is gone from the modem once delivered: a sink
    // that fails loses it, as a kill does.
    handling.heard = !(lossless_ && chance(0.05));
    if (killsInHandlers_ > 0 && chance(0.3)) {
        // Inside the handler: its message was raised, and no verdict will come.
        --killsInHandlers_;
        killAt_ = handling.start + takes / 2;
    }
}

void World::Raised(const SimClient::Handling& handling) {
    if (handling.item.kind != Outgoing::Kind::NewSms) {
        Trace(*this, "**", "TestEvent");
        return;
    }
    // A long message raised again is one message raised twice, whatever its parts.
    bool again = false;
    for (const std::string& token : Tokens(handling.item.message.text)) {
        Trace(*this, "**", "raised " + token);
        const auto unit = tokens_.find(token);
        if (unit == tokens_.end()) {
            Violated("raised what was never sent: \"" + token + "\"");
            continue;
        }
        const auto earlier = raisedHere_.find(token);
        if (earlier != raisedHere_.end() && earlier->second) {
            Violated("raised " + token + " twice in one process");
        }
        raisedHere_[token] = true;
        again = again || units_[unit->second].raised;
        units_[unit->second].raised = true;
    }
    duplicates_ += again;
}

void World::Returned(const SimClient::Handling& handling) {
    if (handling.item.kind != Outgoing::Kind::NewSms) return;
    for (const std::string& token : Tokens(handling.item.message.text)) {
        const auto unit = tokens_.find(token);
        if (unit == tokens_.end()) continue;
        Trace(*this, "**", (handling.heard ? "heard " : "not heard ") + token);
        if (handling.heard) {
            units_[unit->second].heard = true;
        } else {
            // No sink took it: it comes again.
            raisedHere_[token] = false;
            units_[unit->second].raised = false;
        }
    }
    if (!handling.heard && process_) process_->client.StartAgainAt(now_ + kStartAgainAfter);
}

void World::Removed(int unit, SimModem::Removal how) {
    if (unit >= 0 && unit < static_cast<int>(units_.size()) && !units_[unit].heard) {
        Violated("u" + std::to_string(unit) + " left the modem before a sink returned from it (" +
                 (how == SimModem::Removal::Deleted ? "deleted" : "acknowledged") + ")");
    }
}

void World::Violated(const std::string& what) {
    if (!failure_.empty()) return;
    failure_ = what + " at " +
               std::to_string(
                   std::chrono::duration_cast<std::chrono::milliseconds>(now_.time_since_epoch())
                       .count()) +
               " ms";
}

bool World::Settled() const {
    return std::all_of(units_.begin(), units_.end(),
                       [](const Unit& unit) { return unit.heard || unit.excused; }) &&
           modem_.Empty() && (!process_ || process_->client.Idle());
}

Time World::NextDue() const {
    Time next = events_.empty() ? Time::max() : events_.begin()->first;
    next = std::min(next, modem_.NextDue());
    if (process_) next = std::min(next, process_->client.NextDue());
    if (killAt_ && process_) next = std::min(next, *killAt_);
    return next;
}

void World::Happen() {
    while (!events_.empty() && events_.begin()->first <= now_) {
        const auto action = std::move(events_.begin()->second);
        events_.erase(events_.begin());
        action();
    }
    modem_.Advance(now_);
    if (!process_) return;
    if (killAt_ && *killAt_ <= now_) {
        killAt_.reset();
        throw Killed{};
    }
    if (closeAt_ && *closeAt_ <= now_) {
        Trace(*this, "**", "Close");
        closeAt_.reset();
        closing_ = true;
        process_->client.Stop();
    }
    process_->client.Advance(now_);
    const bool calm = now_ >= Time{} + kFaultsFor;
    if ((calm && Settled()) || now_ >= end_ || !failure_.empty()) process_->client.Stop();
}

void World::Pass(Clock::duration wait, bool untilOutput) {
    const Time target = now_ + wait;
    for (;;) {
        Happen();
        if (now_ >= target || (untilOutput && modem_.HasOutput())) return;
        now_ = std::min(target, std::max(now_ + 1ms, NextDue()));
    }
}

Outcome World::Run() {
    Outcome outcome;
    Time startAt = now_;
    for (;;) {
        while (now_ < startAt) Pass(startAt - now_);
        process_ = std::make_unique<Process>(*this, settings_);
        raisedHere_.clear();
        try {
            process_->dialogue.Run();
            const bool ended = process_->client.StopRequested();
            process_.reset();
            if (std::exchange(closing_, false)) {
                startAt = now_ + 1s;  // closed in the middle: the client starts again
                continue;
            }
            if (ended) break;
            startAt = now_ + kStartAgainAfter;  // the start failed: the client tries again
        } catch (const Killed&) {
            Trace(*this, "**", "killed");
            ++kills_;
            process_.reset();
            startAt = now_ + kRestartAfterKill;
        }
    }
    outcome.failure = Finally();
    outcome.units = static_cast<int>(units_.size());
    outcome.kills = kills_;
    outcome.duplicates = duplicates_;
    return outcome;
}

std::string World::Finally() {
    std::string failure = failure_;
    if (failure.empty()) {
        for (std::size_t unit = 0; unit < units_.size(); ++unit) {
            if (!units_[unit].heard && !units_[unit].excused) {
                failure += "u" + std::to_string(unit) + " never heard; ";
            }
        }
        if (!modem_.Empty()) failure += "left in the modem: " + modem_.Describe() + "; ";
        if (duplicates_ > kills_) {
            failure += std::to_string(duplicates_) + " raised twice for " + std::to_string(kills_) +
                       " kills; ";
        }
    }
    if (failure.empty()) return {};
    return "seed " + std::to_string(seed_) + ": " + failure + " [modem stores " +
           (options_.stores ? "in " + options_.storesIn : "nothing") +
           (options_.namesMemories ? "" : ", names no memory") +
           (options_.routesDirectly ? "" : ", routes nothing directly") +
           (options_.phase2Plus ? ", phase 2+" : ", phase 2") +
           (options_.echo ? ", echo" : ", no echo") +
           (settings_.fullDecoding ? ", full decoding" : "") + "]";
}

void Trace(const World& world, const char* direction, std::string_view bytes) {
    static const bool tracing = std::getenv("PELVARO_SIM_TRACE") != nullptr;
    if (!tracing || bytes.empty()) return;
    std::string text;
    for (const char c : bytes)
        text += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    std::printf("%8lld %s %s\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           world.Now().time_since_epoch())
                                           .count()),
                direction, text.c_str());
}

}  // namespace

Outcome RunSchedule(std::uint32_t seed) {
    return World(seed).Run();
}

}  // namespace pelvaro::sim
