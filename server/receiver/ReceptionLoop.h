#pragma once
// The process-wide reception loop: one window-less timer whose ticks poll the link of the one
// receiver that started last.

#include <windows.h>

class CReadSms;

namespace pelvaro {
class ModemChannel;
}

// The receiver every tick works on; null while none receives. It holds no reference: a receiver
// takes itself out when it is destroyed.
extern CReadSms* ActiveReceiver;
// Idle ticks left before the keep-alive goes out; it outlives stops and starts.
extern LONG KeepAliveCounter;
// The one timer that drives the ticks, 0 while none runs.
extern UINT_PTR ReceptionTimer;

namespace pelvaro {

void CALLBACK ReceptionTick(HWND window, UINT message, UINT_PTR timer, DWORD time);

// Makes receiver the one the ticks work on and starts the timer unless it runs already. False,
// with nothing changed, when no timer can be had.
bool StartReception(CReadSms* receiver);
// Stops the ticks if they work on receiver; called when it is destroyed.
void StopReception(CReadSms* receiver);

// A sink may close or release the receiver, or start another one, while an event is raised. The
// tick goes on only while the link it read from is still the receiver's.
bool StillLinked(CReadSms* receiver, ModemChannel* link);

}  // namespace pelvaro
