#pragma once
// "Port=auto": the modem found among the COM ports. A USB stick brings three or four ports, and
// only one of them takes SMS commands.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "modem/CommandPort.h"
#include "modem/ProbeSchedule.h"
#include "modem/Settings.h"

namespace pelvaro {

// What one port turned out to be.
struct PortProbe {
    enum class Kind {
        Absent,      // no such port
        Held,        // another program or object has it open
        Unopenable,  // it exists but cannot be opened or configured
        Silent,      // it says nothing
        NoAt,        // it says something, but does not answer AT
        NoSms,       // it answers AT, but offers no way to receive SMS
        Modem,       // it answers AT and offers a way to receive SMS
    };
    int port = 0;
    Kind kind = Kind::Absent;
    std::string answer;  // what it answered, where that says more
    // What AT+CNMI=? and AT+CPMS=? offered, as their information lines.
    std::string routingOffers;
    std::string storageOffers;

    // "COM3: answers AT but refuses SMS commands (+CMS ERROR: 500)"
    std::string Describe() const;
};

// The highest port number tried.
inline constexpr int kHighestPort = 64;

// Opens COM`number` and asks it, within about a second, or less once `cancelled` is set; `open`
// keeps the port open when it answers AT, for more questions.
PortProbe ProbePort(const LinkSettings& settings, int number,
                    std::unique_ptr<CommandPort>* open = nullptr,
                    const std::atomic<bool>* cancelled = nullptr);

// Tries the ports that `schedule` says are due, in its order, and returns the first that is the
// modem, open; null when none is, or once `cancelled` is set. `tried` says what each port that
// exists answered; `schedule` learns it.
std::unique_ptr<CommandPort> FindModemPort(const LinkSettings& settings, ProbeSchedule& schedule,
                                           const std::atomic<bool>& cancelled,
                                           std::vector<PortProbe>& tried);

// "no modem found on the COM ports: COM1 says nothing; COM2 ..."
std::string NoModemFound(const std::vector<PortProbe>& tried);

}  // namespace pelvaro
