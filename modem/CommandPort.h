#pragma once
// A serial port spoken to through the command layer: how the full dialogue, the search for a
// modem among the COM ports and the diagnosis of pelvaro-listen talk to a modem.

#include "modem/CommandLayer.h"
#include "modem/SerialPort.h"
#include "modem/SerialWire.h"
#include "modem/Settings.h"

namespace pelvaro {

class CommandPort final {
  public:
    // The port is COM`port`, written to with the settings' send delay.
    CommandPort(const LinkSettings& settings, int port);
    CommandPort(const CommandPort&) = delete;
    CommandPort& operator=(const CommandPort&) = delete;

    // Opens and configures the device, with reads short enough for a thread that has more to do
    // between them. False when it cannot be opened or configured.
    bool Open() { return port_.Open() == 0 && port_.UseShortReads(); }
    int Number() const { return port_.PortNumber(); }
    // Why Open failed, as SerialPort::OpenError says.
    DWORD OpenError() const { return port_.OpenError(); }
    CommandLayer& Layer() { return layer_; }

  private:
    SerialPort port_;
    SerialWire wire_{port_};
    CommandLayer layer_{wire_};
};

}  // namespace pelvaro
