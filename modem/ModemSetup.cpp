#include "modem/ModemSetup.h"

#include <algorithm>
#include <chrono>

#include "modem/AsciiText.h"
#include "modem/InitCommands.h"
#include "modem/ModemCommands.h"
#include "modem/ModemLines.h"

namespace pelvaro {
namespace {

// A SIM that is still starting, or that wants its PIN or PUK before it serves SMS commands. Its
// state (AT+CPIN?) decides at the next attempt.
constexpr std::string_view kNotReadyResults[] = {
    "+CME ERROR: 14",       "+CMS ERROR: 314",
    "+CMS ERROR: 515",      "+CME ERROR: 515",
    "+CMS ERROR: 311",      "+CMS ERROR: 316",
    "+CME ERROR: 11",       "+CME ERROR: 12",
    "+CME ERROR: SIM busy", "+CME ERROR: SIM PIN required",
};
// SIMs that will never serve: absent or broken.
constexpr std::string_view kNoSimResults[] = {
    "+CME ERROR: 10",
    "+CME ERROR: 13",
    "+CMS ERROR: 310",
    "+CMS ERROR: 313",
    "+CME ERROR: SIM not inserted",
    "+CME ERROR: SIM failure",
};

constexpr char kAsksForPin[] = "the SIM asks for its PIN: add PIN=... to SerComm.ini";
constexpr char kRefusedPin[] = "the SIM refused PIN=... in SerComm.ini";
constexpr char kUnansweredPin[] =
    "the modem did not answer when PIN=... in SerComm.ini was sent, and a PIN is sent only once: "
    "see whether the SIM still asks for it";
constexpr char kWantsPuk[] = "the SIM is locked with its PUK: unlock it in a phone";

// Modes that pass indications on, the one that keeps them while the line is busy first.
constexpr int kModes[] = {2, 1, 3};
constexpr int kStoreAndAnnounce = 1;
constexpr int kDirect = 2;
// How often a SIM that is still starting is asked again.
constexpr auto kAskSimAgainAfter = std::chrono::seconds(1);

bool AmongResults(const Answer& answer, const std::string_view* begin,
                  const std::string_view* end) {
    return std::any_of(begin, end,
                       [&](std::string_view code) { return EqualsNoCase(answer.result, code); });
}

std::string ResultOf(const Answer& answer) {
    return answer.Answered() ? answer.result : "no answer";
}

// "+CPIN: SIM PIN" gives "SIM PIN".
std::string_view StateOf(std::string_view line) {
    const std::vector<std::string_view> fields = InformationFields(line);
    return fields.empty() ? std::string_view() : fields.front();
}

// One attempt at the set-up. Each step reads top to bottom; a step that ends the attempt leaves
// its outcome in `result_`.
class SetUpAttempt {
  public:
    SetUpAttempt(CommandLayer& layer, std::string_view pin, PinRecord& pins)
        : layer_(layer), pin_(pin), pins_(pins) {}

    SetUpResult Run(const LinkSettings& settings) {
        layer_.Synchronise();
        if (UnlockSim() && SelectPduMode() && SelectService() && FindStorage() && Route() &&
            SendInit(settings)) {
            Succeed();
        }
        return result_;
    }

    SetUpResult RunUnlock() {
        if (UnlockSim() && AwaitSms()) Succeed();
        return result_;
    }

  private:
    void Succeed() {
        result_.kind = SetUpResult::Kind::Ready;
        result_.why.clear();
    }

    bool End(SetUpResult::Kind kind, std::string why) {
        result_.kind = kind;
        result_.why = std::move(why);
        result_.lasting = kind == SetUpResult::Kind::Failed && !result_.silent;
        return false;
    }

    // The command's answer, unless the attempt ends at it: no answer at all, or a SIM that is not
    // ready yet.
    bool Ask(const std::string& command, Answer& answer) {
        answer = layer_.Run(command);
        if (!answer.Answered()) {
            result_.silent = true;
            return End(SetUpResult::Kind::Failed, "the modem did not answer AT" + command);
        }
        result_.answeredSome = true;
        if (SimNotReady(answer)) {
            return End(SetUpResult::Kind::Waiting,
                       "the SIM is not ready (AT" + command + ": " + answer.result + ")");
        }
        if (AmongResults(answer, std::begin(kNoSimResults), std::end(kNoSimResults))) {
            return End(SetUpResult::Kind::Failed,
                       "the modem has no working SIM (AT" + command + ": " + answer.result + ")");
        }
        return true;
    }

    bool UnlockSim() {
        Answer answer;
        if (!Ask(kSimState, answer)) return false;
        const std::string_view state = StateOf(answer.Line("+CPIN:"));
        // A modem that tells nothing of its SIM goes on; the SMS commands will say more.
        if (state.empty() || EqualsNoCase(state, "READY") || EqualsNoCase(state, "SIM PIN2") ||
            EqualsNoCase(state, "SIM PUK2")) {
            return true;
        }
        if (EqualsNoCase(state, "SIM PIN")) return EnterPin();
        if (EqualsNoCase(state, "SIM PUK")) return End(SetUpResult::Kind::Failed, kWantsPuk);
        if (EqualsNoCase(state, "NOT READY")) {
            return End(SetUpResult::Kind::Waiting, "the SIM is still starting");
        }
        return End(SetUpResult::Kind::Failed,
                   "the SIM is locked (" + std::string(answer.Line("+CPIN:")) + ")");
    }

    bool EnterPin() {
        if (pin_.empty()) return End(SetUpResult::Kind::Failed, kAsksForPin);
        switch (pins_.FateOf(pin_)) {
            case PinRecord::Fate::Refused:
                return End(SetUpResult::Kind::Failed, kRefusedPin);
            case PinRecord::Fate::Unanswered:
                return End(SetUpResult::Kind::Failed, kUnansweredPin);
            case PinRecord::Fate::Unsent:
                break;
        }
        // Recorded first: a process that dies before the answer has spent it all the same.
        pins_.Record(pin_, PinRecord::Fate::Unanswered);
        const Answer answer = layer_.Run(kEnterPin + ("\"" + std::string(pin_) + "\""));
        if (answer.Ok()) {
            pins_.Forget();
            // The SIM needs a moment before it serves; its state tells at the next attempt.
            return End(SetUpResult::Kind::Waiting, "the SIM is checking its PIN");
        }
        if (!answer.Answered()) {
            // Whether it took, the SIM's state tells at the next attempt; it is not sent again.
            return End(SetUpResult::Kind::Waiting, "the SIM is checking its PIN");
        }
        pins_.Record(pin_, PinRecord::Fate::Refused);
        return End(SetUpResult::Kind::Failed, kRefusedPin);
    }

    bool SendInit(const LinkSettings& settings) {
        std::string why;
        if (SendInitCommands(layer_, settings, why)) return true;
        result_.silent = why.empty();
        return End(SetUpResult::Kind::Failed,
                   why.empty() ? "the modem did not answer an Init command" : why);
    }

    // A module says its SIM is ready a moment before its SMS service is: the storage tells.
    bool AwaitSms() {
        Answer answer;
        return Ask(kStorageState, answer);
    }

    bool SelectPduMode() {
        Answer answer;
        if (!Ask(kPduMode, answer)) return false;
        if (answer.Ok()) return true;
        return End(SetUpResult::Kind::Failed, "the modem refused PDU mode (AT" +
                                                  std::string(kPduMode) + ": " + answer.result +
                                                  "), the only one Pelvaro reads");
    }

    bool SelectService() {
        Answer answer;
        if (!Ask(kPhase2Plus, answer)) return false;
        if (answer.Ok()) return true;
        // Phase 2 delivers without acknowledgements; it is what a module without 2+ has anyway.
        if (!Ask(kPhase2, answer)) return false;
        result_.reception.acknowledge = false;
        return true;
    }

    bool FindStorage() {
        Answer answer;
        if (!Ask(kStorageOffers, answer)) return false;
        const std::vector<OfferedList> offers = ParseOffers(answer.Line("+CPMS:"));
        Reception& reception = result_.reception;
        if (!answer.Ok() || offers.empty()) return true;
        for (const std::string_view memory : offers.front()) {
            if (std::find(reception.memories.begin(), reception.memories.end(), memory) ==
                reception.memories.end()) {
                reception.memories.emplace_back(memory);
            }
        }
        if (!reception.Stores()) return true;
        if (!Ask(kStorageState, answer)) return false;
        const std::vector<std::string_view> fields = InformationFields(answer.Line("+CPMS:"));
        if (!fields.empty()) reception.readMemory = fields.front();
        return true;
    }

    // Where the modem stores, its storage is the journal: a message leaves it only once the
    // client has it. So store-and-announce comes first, and direct routing only where nothing
    // stores.
    bool Route() {
        Answer answer;
        if (!Ask(kRoutingOffers, answer)) return false;
        const std::vector<OfferedList> offers = ParseOffers(answer.Line("+CNMI:"));
        Reception& reception = result_.reception;
        std::string refusals;
        if (offers.size() < 2) refusals = "AT+CNMI=? offers no routing (" + ResultOf(answer) + ")";
        for (const int mt : {kStoreAndAnnounce, kDirect}) {
            if (mt == kStoreAndAnnounce && !reception.Stores()) continue;
            for (const int mode : kModes) {
                // Without offers, the usual settings are tried.
                if (offers.size() >= 2 ? !Offers(offers[0], mode) || !Offers(offers[1], mt)
                                       : mode == 3) {
                    continue;
                }
                reception.mode = mode;
                reception.mt = mt;
                if (!Ask(reception.RoutingCommand(), answer)) return false;
                if (answer.Ok()) return true;
                if (!refusals.empty()) refusals += "; ";
                refusals +=
                    "AT" + reception.RoutingCommand() + " was refused (" + answer.result + ")";
            }
        }
        reception.mode = reception.mt = 0;
        if (reception.Stores()) return true;  // nothing routes: the storage is read regularly
        return End(SetUpResult::Kind::Failed,
                   refusals + ": the device offers no way to receive SMS");
    }

    CommandLayer& layer_;
    std::string_view pin_;
    PinRecord& pins_;
    SetUpResult result_;
};

}  // namespace

std::string Reception::RoutingCommand() const {
    return "+CNMI=" + std::to_string(mode) + "," + std::to_string(mt);
}

bool SimNotReady(const Answer& answer) {
    return AmongResults(answer, std::begin(kNotReadyResults), std::end(kNotReadyResults)) ||
           EqualsNoCase(StateOf(answer.Line("+CPIN:")), "NOT READY");
}

SetUpResult SetUpModem(CommandLayer& layer, const LinkSettings& settings, PinRecord& pins) {
    SetUpResult refused;
    refused.why = InitRefusal(settings);
    if (!refused.why.empty()) {
        refused.lasting = true;
        return refused;
    }
    return SetUpAttempt(layer, settings.pin, pins).Run(settings);
}

SetUpResult UnlockSim(CommandLayer& layer, std::string_view pin, PinRecord& pins,
                      CommandLayer::Clock::duration patience) {
    const CommandLayer::Clock::time_point end = layer.Now() + patience;
    for (;;) {
        const SetUpResult result = SetUpAttempt(layer, pin, pins).RunUnlock();
        if (result.kind != SetUpResult::Kind::Waiting || layer.Now() >= end) return result;
        const CommandLayer::Clock::time_point next = layer.Now() + kAskSimAgainAfter;
        while (layer.Now() < next) layer.Listen();
    }
}

bool SendInitCommands(CommandLayer& layer, const LinkSettings& settings, std::string& why) {
    for (const std::string& command : InitCommands(settings.init)) {
        const Answer answer = layer.Run(command);
        if (answer.Ok()) continue;
        why = answer.Answered() ? "the modem refused AT" + command + " of Init in SerComm.ini (" +
                                      answer.result + ")"
                                : "";
        return false;
    }
    return true;
}

}  // namespace pelvaro
