#pragma once
// The connection point for IPropertyNotifySink. Sinks may connect, but nothing is ever raised.

#include "server/events/ConnectionPoint.h"

namespace pelvaro {

class PropertyNotifyConnectionPoint final : public ConnectionPoint {
  public:
    explicit PropertyNotifyConnectionPoint(IUnknown* owner)
        : ConnectionPoint(owner, IID_IPropertyNotifySink) {}
};

}  // namespace pelvaro
