#include "server/receiver/ReceptionLoop.h"

#include <string>
#include <utility>

#include "modem/ModemChannel.h"
#include "modem/ModemCommands.h"
#include "server/receiver/FullReception.h"
#include "server/receiver/ReadSms.h"
#include "server/receiver/UserFeedback.h"

CReadSms* ActiveReceiver = nullptr;
LONG KeepAliveCounter = 120;
UINT_PTR ReceptionTimer = 0;

namespace pelvaro {
namespace {

constexpr UINT_PTR kRequestedTimerId = 1;
constexpr UINT kTickPeriodMs = 1000;
constexpr LONG kIdleTicksAfterKeepAlive = 120;
constexpr LONG kIdleTicksAfterData = 30;
// A modem that never stops sending must not keep the client's thread in one tick; what is left
// waits in the channel for the next one.
constexpr int kMostDeliveriesPerTick = 20;

void Acknowledge(ModemChannel& link, const ModemDialogue& dialogue) {
    if (dialogue.acknowledge) link.SendCommand(kAcknowledge, true);
}
void RouteNewMessages(ModemChannel& link, const ModemDialogue& dialogue) {
    if (!dialogue.routing.empty()) link.SendCommand(dialogue.routing, true);
}

void AnswerTextWithoutPdu(ModemChannel& link, const ModemDialogue& dialogue) {
    PlayMessageBeep(MB_ICONHAND);
    Acknowledge(link, dialogue);
    RouteNewMessages(link, dialogue);
}

// Each delivery is raised and then acknowledged on its own, so that a modem that holds the next
// one sends it only after the client has seen this one. The acknowledgements' waits read that
// next one, and it is raised in this tick too; so are any the routing command's wait reads.
void RaiseDeliveries(CReadSms* receiver, ModemChannel* link) {
    const ModemDialogue dialogue = receiver->Dialogue();
    KeptDelivery delivery;
    int budget = kMostDeliveriesPerTick;
    while (budget > 0 && link->TakeDelivery(delivery)) {
        KeepAliveCounter = kIdleTicksAfterData;
        do {
            if (!IsRepeat(receiver, delivery)) {
                const bool raised = receiver->ProcessReceivedText(delivery.View());
                PlayMessageBeep(raised ? MB_OK : MB_ICONHAND);
                if (!StillLinked(receiver, link)) return;
            }
            Acknowledge(*link, dialogue);
        } while (--budget > 0 && link->TakeDelivery(delivery));
        RouteNewMessages(*link, dialogue);
    }
}

// True when the keep-alive went out and was not answered; the receiver may then be gone.
bool CountIdleTick(CReadSms* receiver, ModemChannel* link, bool full) {
    if (--KeepAliveCounter >= 0) return false;
    // Reset first: a sink that pumps messages inside TestEvent runs further ticks.
    KeepAliveCounter = kIdleTicksAfterKeepAlive;
    // With full modem support the last command may have been a deletion, which "a/" would
    // repeat on whatever the modem has stored at that index since.
    const bool answered =
        full ? link->SendCommand(kAttention, true) : link->SendCommand(kRepeatLast, false);
    if (answered) {
        PlayMessageBeep(MB_OK);
        // A module whose acknowledgement timed out stops routing and stores what comes: two
        // quiet minutes are the time to route again and look.
        if (full) ResumeAfterQuiet(receiver, *link);
    } else if (full) {
        LoseLink(receiver);
    } else {
        PlayMessageBeep(MB_ICONEXCLAMATION);
        receiver->RaiseTestEvent();
    }
    return !answered;
}

// What one read brought, as the tick weighs it. Without full modem support, any text counts; with
// it, known status reports are passed over as if nothing had come.
struct Heard {
    bool traffic = false;
    bool textWithoutPdu = false;
};

Heard Weigh(ModemChannel* link, bool full, bool read, const Unasked& unasked) {
    const bool waiting = link->HasDelivery() || link->AwaitsRest();
    if (!full) return {read || link->HasDelivery(), read && !waiting};
    const bool other = unasked.otherText || link->HasAnnouncement();
    return {link->HasDelivery() || other || (read && link->AwaitsRest()),
            unasked.otherText && !waiting && !link->HasAnnouncement()};
}

void Tick() {
    CReadSms* const receiver = ActiveReceiver;
    if (!receiver) return;
    ModemChannel* const link = receiver->Link();
    if (!link) {
        if (receiver->Full().reconnecting) Reconnect(receiver);
        return;
    }

    const bool full = receiver->Full().on;
    std::string text;
    const bool read = link->ReadChunk(text);
    const Unasked unasked = link->TakeUnasked();
    if (full) {
        if (link->Lost()) {
            LoseLink(receiver);
            return;
        }
        SetUpAgainIfDue(receiver, *link, unasked.restart);
    }
    const Heard heard = Weigh(link, full, read, unasked);
    if (heard.traffic) {
        KeepAliveCounter = kIdleTicksAfterData;
        if (heard.textWithoutPdu) AnswerTextWithoutPdu(*link, receiver->Dialogue());
    } else if (CountIdleTick(receiver, link, full) && full) {
        return;
    }
    if (!StillLinked(receiver, link)) return;
    RaiseDeliveries(receiver, link);
    if (full && StillLinked(receiver, link) && !DeliverStored(receiver, link)) return;
    if (StillLinked(receiver, link)) receiver->RaiseExpired();
}

}  // namespace

bool StillLinked(CReadSms* receiver, ModemChannel* link) {
    return ActiveReceiver == receiver && receiver->Link() == link;
}

void CALLBACK ReceptionTick(HWND, UINT, UINT_PTR, DWORD) {
    // Nothing may unwind into the message loop that dispatched the tick.
    try {
        Tick();
    } catch (...) {
    }
}

bool StartReception(CReadSms* receiver) {
    if (ReceptionTimer == 0) {
        ReceptionTimer = SetTimer(nullptr, kRequestedTimerId, kTickPeriodMs, ReceptionTick);
        if (ReceptionTimer == 0) return false;
    }
    ActiveReceiver = receiver;
    return true;
}

void StopReception(CReadSms* receiver) {
    if (ActiveReceiver != receiver) return;
    ActiveReceiver = nullptr;
    // No timer may outlive the objects: the library can be unloaded once they are gone.
    if (ReceptionTimer != 0) KillTimer(nullptr, std::exchange(ReceptionTimer, 0));
}

}  // namespace pelvaro
