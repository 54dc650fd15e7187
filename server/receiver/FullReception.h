#pragma once
// What "Full Modem Support=1" adds to reception: the set-up made again after the module restarts,
// stored messages delivered and deleted, and a modem found again after it vanished.

#include <windows.h>

#include "modem/ModemChannel.h"
#include "server/receiver/ModemSetup.h"
#include "sms/RepeatFilter.h"

class CReadSms;

namespace pelvaro {

// What the receiver keeps beyond its link, so that it can set the modem up again and find it
// again after it vanished.
struct FullModemState {
    bool on = false;
    int port = 0;  // as the settings named it at the last opening
    ModemDialogue dialogue;
    bool setUpPending = false;
    ULONGLONG nextSetUp = 0;
    // The storage is read at the next tick: after a set-up, and regularly where nothing routes.
    bool storagePending = false;
    ULONGLONG nextStorageRead = 0;
    bool reconnecting = false;
    ULONGLONG nextReopen = 0;
    // Outlives stops and starts: a module may deliver again what it delivered before a Close.
    RepeatFilter repeats;
};

// The link has failed for good: TestEvent once, the port closed, a new one tried every 10 s.
// The receiver may be gone when this returns.
void LoseLink(CReadSms* receiver);
// While reconnecting: every 10 s, the port opened again and the set-up made once it answers.
void Reconnect(CReadSms* receiver);
// After a restart announcement, and until the module takes it: the set-up made again.
void SetUpAgainIfDue(CReadSms* receiver, ModemChannel& link, bool restarted);
// After an answered keep-alive: the routing sent again, and the storage read at this tick.
void ResumeAfterQuiet(CReadSms* receiver, ModemChannel& link);
// Raises what the storage holds or announced, each deleted once the sinks have returned. False
// when the receiver is no longer linked to `link` afterwards.
bool DeliverStored(CReadSms* receiver, ModemChannel* link);
// True when a delivery repeats one raised within the hour; it is then acknowledged but not raised.
bool IsRepeat(CReadSms* receiver, const KeptDelivery& delivery);

}  // namespace pelvaro
