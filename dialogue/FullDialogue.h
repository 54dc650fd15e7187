#pragma once
// The dialogue with the modem under "Full Modem Support=1". It runs on the reception's own
// thread, so that serial I/O and waiting for answers never hold the client's thread, and owns all
// its state: the link, how the modem is set up, and every message read and not yet settled.
//
// Where the modem stores, its storage is the journal. A stored message is deleted only once a
// sink has returned from its event without failing; the parts of a long message only once the
// whole message, or its gapped form, was raised so. A direct delivery is acknowledged once it
// has been raised. A client that dies inside its handler thus finds what it had not finished
// stored or unacknowledged when it starts again.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "modem/CommandPort.h"
#include "modem/ModemSetup.h"
#include "modem/Settings.h"
#include "server/receiver/ReceptionMailbox.h"
#include "sms/ClientMessage.h"
#include "sms/RepeatFilter.h"

namespace pelvaro {

class FullDialogue {
  public:
    FullDialogue(const LinkSettings& settings, ReceptionMailbox& mailbox);
    FullDialogue(const FullDialogue&) = delete;
    FullDialogue& operator=(const FullDialogue&) = delete;
    ~FullDialogue();

    // The reception thread's body: opens the link, sets the modem up and reports how that went;
    // then receives until the client's thread asks it to stop, settles what was raised, and
    // closes the link.
    void Run();

  private:
    using Clock = std::chrono::steady_clock;

    // A message read from the modem, until it is settled.
    struct Place {
        std::string memory;  // where it is stored; empty for a direct delivery
        int index = -1;
        std::string pdu;
        unsigned link = 0;       // the opening of the link it was read on
        bool awaitsAck = false;  // a direct delivery the modem waits to have acknowledged
        bool left = false;       // stays stored: unreadable, or no sink took it
    };
    enum class State { Unlinked, Waiting, Receiving };

    SetUpReport Open();
    bool OpenLink(std::string& why);
    SetUpReport SetUp();
    SetUpReport SetUpForClient();
    void Step();
    void Finish();

    void HandleUnsolicited();
    void TakeDirect(const KeptDelivery& delivery);
    void ReadAnnounced(const std::string& memory, int index);
    void Sweep();
    void Check();
    void TakeStored(const std::string& memory, int index, const KeptDelivery& entry);
    void Read(const KeptDelivery& delivery, DeliveryTag tag);
    void Post(ClientMessage message);
    void PostExpired();
    void SettleVerdicts();
    void Settle(DeliveryTag tag);
    void LoseLink();
    void ReopenIfDue();

    Answer Run(const std::string& command, Clock::duration deadline = CommandLayer::kUsualDeadline);
    bool SelectMemory(const std::string& memory);
    void Delete(const std::string& memory, int index);
    void Acknowledge();
    bool InHand(const std::string& memory, int index) const;
    bool InHand(const std::string& pdu) const;
    bool RoutesAsSetUp(const Answer& routing) const;
    bool StorageChanged(const Answer& storage);

    const LinkSettings settings_;
    ReceptionMailbox& mailbox_;
    std::unique_ptr<CommandPort> link_;
    unsigned linkCount_ = 0;
    State state_ = State::Unlinked;
    Reception reception_;
    MessageReader reader_;
    // Messages a sink has had, for the module that delivers one again.
    RepeatFilter raised_;
    std::map<DeliveryTag, Place> places_;
    // Raised messages waiting for their verdict, with the deliveries they were made from.
    std::map<std::uint64_t, std::vector<DeliveryTag>> posted_;
    // How many messages each memory holds that are known to be there.
    std::map<std::string, int> known_;
    DeliveryTag nextTag_ = 1;
    std::uint64_t nextId_ = 1;
    bool sweepDue_ = false;
    int unansweredChecks_ = 0;
    Clock::time_point nextSetUp_{};
    Clock::time_point nextCheck_{};
    Clock::time_point nextReopen_{};
};

}  // namespace pelvaro
