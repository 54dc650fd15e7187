#pragma once
// The connection point for _IReadSmsEvents, and the raising of its two events: each sink is
// called, and the exception it reports becomes the thread's error information.

#include <oaidl.h>

#include "server/events/ConnectionPoint.h"

namespace pelvaro {

class EventsConnectionPoint final : public ConnectionPoint {
  public:
    explicit EventsConnectionPoint(IUnknown* owner);

    // Each event goes to the sinks in cookie order. A failing sink ends the raise with its code;
    // otherwise the result is that of the last sink called, or S_OK. Only sinks connected when the
    // raise began receive it. The owner is kept alive until the raise returns, but may be gone
    // afterwards if a sink released it; call these only while the owner holds a reference.
    HRESULT RaiseTestEvent() noexcept;
    // The strings are borrowed for the call, neither copied nor freed. `heard`, when given, counts
    // the sinks that returned without failing.
    HRESULT RaiseOnNewSms(BSTR Sender, BSTR ServCenter, BSTR MsgText,
                          int* heard = nullptr) noexcept;

  private:
    HRESULT Raise(DISPID dispId, const BSTR* args, UINT argCount, int* heard) noexcept;
};

}  // namespace pelvaro
