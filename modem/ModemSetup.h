#pragma once
// The full dialogue's set-up, written once: the SIM unlocked, PDU mode, the message service, the
// storage and the routing, each as well as the modem can. Negotiated into a local copy, which
// takes effect only once the whole set-up has succeeded. Plain C++ over the command layer.

#include <string>
#include <string_view>
#include <vector>

#include "modem/CommandLayer.h"
#include "modem/PinRecord.h"
#include "modem/Settings.h"

namespace pelvaro {

// How the modem receives once set up.
struct Reception {
    // Message service phase 2+: each direct delivery waits for its acknowledgement.
    bool acknowledge = true;
    // The routing set with AT+CNMI=<mode>,<mt>; mt 0 when nothing routes and the storage is read
    // regularly instead.
    int mode = 0;
    int mt = 0;
    // Every memory the modem offers for reading, and the one reads and deletions act on now.
    std::vector<std::string> memories;
    std::string readMemory;

    bool Routes() const { return mt != 0; }
    bool Stores() const { return !memories.empty(); }
    // "+CNMI=2,1"
    std::string RoutingCommand() const;
};

struct SetUpResult {
    enum class Kind {
        Ready,    // receiving as `reception` says
        Waiting,  // the SIM is still starting or checking its PIN: try again shortly
        Failed,   // it can never work as things are; `why` says what to do
    };
    Kind kind = Kind::Failed;
    Reception reception;
    // For the user: why it failed, or what it waits for.
    std::string why;
    // It failed because the modem did not answer at all.
    bool silent = false;
    // The modem answered a command of it before: it is there, if slow.
    bool answeredSome = false;
    // It failed in a way that lasts until the settings or the SIM change (a PIN refused, a PUK,
    // PDU mode refused): trying again cannot help.
    bool lasting = false;
};

// Sets the modem up with the PIN (`settings.pin`, empty when none) and the Init commands that
// SerComm.ini gives. A PIN that `pins` says was refused or left unanswered is not sent again.
SetUpResult SetUpModem(CommandLayer& layer, const LinkSettings& settings, PinRecord& pins);

// Only the first step: the SIM unlocked with `pin` where it asks for it, and ready. For the fixed
// dialogue, which knows no waiting in the background, it asks again every second for at most
// `patience`.
SetUpResult UnlockSim(CommandLayer& layer, std::string_view pin, PinRecord& pins,
                      CommandLayer::Clock::duration patience);

// The Init commands that `settings` give, each of which the modem must answer with OK; `why` says
// which it refused, and how, when one is not.
bool SendInitCommands(CommandLayer& layer, const LinkSettings& settings, std::string& why);

// Whether the answer says the SIM is starting, or wants its PIN, rather than refusing.
bool SimNotReady(const Answer& answer);

}  // namespace pelvaro
