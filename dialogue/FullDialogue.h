#pragma once
// The dialogue with the modem under "Full Modem Support=1": what the receiver decides, over a link
// to the modem, a clock and the client's side, so that it runs on the reception's own thread in
// the DLL (serial I/O and waiting for answers never hold the client's thread) and, in the tests,
// against a simulated modem in simulated time.
//
// Where the modem stores, its storage is the journal. A stored message is deleted only once a
// sink has returned from its event without failing; the parts of a long message only once the
// whole message, or its gapped form, was raised so. A direct delivery is acknowledged once it
// has been raised so. A client that dies inside its handler thus finds what it had not finished
// stored or unacknowledged when it starts again. The ledger (dialogue/Ledger.h) keeps every
// message in hand.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogue/DialogueClient.h"
#include "dialogue/HeardRecord.h"
#include "dialogue/Ledger.h"
#include "dialogue/ModemLink.h"
#include "modem/ModemSetup.h"
#include "modem/PinRecord.h"
#include "modem/Settings.h"
#include "sms/ClientMessage.h"

namespace pelvaro {

// What the dialogue runs on: the platform's port, registry and clock, or a simulation's.
struct DialoguePlatform {
    LinkOpener& opener;
    PinRecord& pins;
    HeardRecord& heard;
    const ModemClock& clock;
};

class FullDialogue {
  public:
    FullDialogue(const LinkSettings& settings, DialogueClient& client,
                 const DialoguePlatform& platform);
    FullDialogue(const FullDialogue&) = delete;
    FullDialogue& operator=(const FullDialogue&) = delete;
    ~FullDialogue();

    // The reception thread's body: opens the link, sets the modem up and reports how that went;
    // then receives until the client asks it to stop, raises what was read and lets the modem go
    // of what the client heard, and closes the link.
    void Run();

    // What the tests look into.
    const Ledger& Messages() const { return ledger_; }

  private:
    using Clock = ModemClock::Clock;
    enum class State {
        Unlinked,   // no link: it is opened again every little while
        Waiting,    // linked, and the set-up is due
        Receiving,  // linked and set up
        GivenUp,    // a set-up failed for good: nothing is tried until the client starts again
    };

    SetUpReport Open();
    bool OpenLink(std::string& why);
    SetUpReport SetUp();
    void SetUpInBackground();
    SetUpReport SetUpForClient();
    void GiveUp(const std::string& why);
    void Step();
    void Finish();

    void HandleUnsolicited();
    void TakeQueuedDeliveries();
    void TakeDirect(const Unsolicited& delivery);
    void ReadAnnounced(const std::string& memory, int index);
    void Sweep();
    void Check();
    void TakeStored(const std::string& memory, int index, const KeptDelivery& stored);
    void Give(LedgerEntry& entry, const KeptDelivery& delivery);
    void Post(ClientMessage message);
    // Raises again what no sink took, as it was raised; with `only`, what holds that message.
    void RaiseUnheardAgain(DeliveryTag only = 0);
    void PostLinkLost();
    void PostExpired();
    void GiveOutWaitingParts();
    void ApplyVerdicts();
    void RemoveFromModem(LedgerEntry& entry);
    void RetryRemovals();
    void LoseLink();
    void ReopenIfDue();

    Answer Run(const std::string& command, Clock::duration deadline = CommandLayer::kUsualDeadline,
               Reply reply = Reply::Lines);
    bool SelectMemory(const std::string& memory);
    bool Delete(const std::string& memory, int index);
    void Acknowledge(Clock::time_point deliveredAt);
    void ForgetCopiesNotListed(const std::string& memory, const Answer& listing);
    bool StoppedAnswering();
    bool RoutesAsSetUp(const Answer& routing) const;
    bool StorageChanged(const Answer& storage);
    void NoteFullStorage(const Answer& storage);
    Clock::time_point Now() const { return clock_.Now(); }

    const LinkSettings settings_;
    DialogueClient& client_;
    LinkOpener& opener_;
    PinRecord& pins_;
    const ModemClock& clock_;
    std::unique_ptr<ModemLink> link_;
    unsigned linkCount_ = 0;
    State state_ = State::Unlinked;
    std::string givenUpWhy_;
    Reception reception_;
    // The memory the modem reads and deletes in, as far as it is known: after a command that went
    // unanswered, a restart or a new link it is not, until it is selected again.
    std::optional<std::string> selected_;
    MessageReader reader_;
    Ledger ledger_;
    // Raised messages waiting for their verdict; their sources are the ledger's entries.
    std::map<std::uint64_t, ClientMessage> posted_;
    // Raised messages that no sink took: raised again, whole, at the next start or link.
    std::vector<ClientMessage> unheard_;
    // How many messages each memory holds that are known to be there.
    std::map<std::string, int> known_;
    std::uint64_t nextPostId_ = 1;
    bool sweepDue_ = false;
    int unansweredChecks_ = 0;
    unsigned lateAnswersSeen_ = 0;
    Clock::time_point nextSetUp_{};
    // When the set-up last succeeded: a status report before it may have wanted no acknowledgement.
    Clock::time_point setUpAt_{};
    Clock::time_point nextCheck_{};
    Clock::time_point nextSweep_{};
    Clock::time_point nextReopen_{};
    Clock::time_point nextRemoval_{};
};

}  // namespace pelvaro
