#pragma once
// The link to the modem as the dialogue sees it: a command layer on a port, and what opens one.
// A serial port on Windows; a simulated modem in the tests.

#include <memory>
#include <string>

#include "modem/CommandLayer.h"

namespace pelvaro {

class ModemLink {
  public:
    virtual ~ModemLink() = default;
    virtual CommandLayer& Layer() = 0;
    // The COM port it is on.
    virtual int Port() const = 0;
};

class LinkOpener {
  public:
    virtual ~LinkOpener() = default;
    // The link, open; null when there is none, and `why` says why. Soon after `cancelled` is set
    // it gives up.
    virtual std::unique_ptr<ModemLink> Open(const std::atomic<bool>& cancelled,
                                            std::string& why) = 0;
};

}  // namespace pelvaro
