#include "modem/PortSearch.h"

#include <chrono>

#include "modem/ModemCommands.h"
#include "modem/ModemLines.h"
#include "modem/ModemSetup.h"

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

// Together with the opening, which waits 100 ms and reads what was waiting, each port is done
// within a second.
constexpr auto kAttentionDeadline = 350ms;
constexpr auto kOffersDeadline = 250ms;

// A test command's answer shows a way to receive SMS: routing or storage offered, or a SIM that
// must be unlocked before it says.
bool OffersSms(const Answer& answer, std::string_view prefix) {
    if (SimNotReady(answer)) return true;
    if (!answer.Ok()) return false;
    for (const OfferedList& list : ParseOffers(answer.Line(prefix))) {
        if (!list.empty()) return true;
    }
    return false;
}

PortProbe::Kind OpeningFailure(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return PortProbe::Kind::Absent;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return PortProbe::Kind::Held;
        default:
            return PortProbe::Kind::Unopenable;
    }
}

}  // namespace

std::string PortProbe::Describe() const {
    const std::string name = "COM" + std::to_string(port);
    switch (kind) {
        case Kind::Absent:
            return name + " does not exist";
        case Kind::Held:
            return name + " is held by another program";
        case Kind::Unopenable:
            return name + " could not be opened" + (answer.empty() ? "" : " (" + answer + ")");
        case Kind::Silent:
            return name + " says nothing";
        case Kind::NoAt:
            return name + " does not answer AT";
        case Kind::NoSms:
            return name + " answers AT but refuses SMS commands (" + answer + ")";
        case Kind::Modem:
            return name + " is a modem that receives SMS";
    }
    return name;
}

PortProbe ProbePort(const LinkSettings& settings, int number, std::unique_ptr<CommandPort>* open,
                    const std::atomic<bool>* cancelled) {
    PortProbe probe;
    probe.port = number;
    auto port = std::make_unique<CommandPort>(settings, number);
    if (!port->Open()) {
        probe.kind = OpeningFailure(port->OpenError());
        if (probe.kind == PortProbe::Kind::Unopenable) {
            probe.answer = "error " + std::to_string(port->OpenError());
        }
        return probe;
    }
    CommandLayer& layer = port->Layer();
    layer.CancelWith(cancelled);
    const Answer attention = layer.Run("", kAttentionDeadline);
    if (!attention.Ok()) {
        probe.kind = layer.HeardAnything() ? PortProbe::Kind::NoAt : PortProbe::Kind::Silent;
        return probe;
    }
    const Answer routing = layer.Run(kRoutingOffers, kOffersDeadline);
    const Answer storage = layer.Run(kStorageOffers, kOffersDeadline);
    probe.routingOffers = routing.Line("+CNMI:");
    probe.storageOffers = storage.Line("+CPMS:");
    if (OffersSms(routing, "+CNMI:") || OffersSms(storage, "+CPMS:")) {
        probe.kind = PortProbe::Kind::Modem;
    } else {
        probe.kind = PortProbe::Kind::NoSms;
        probe.answer = routing.Answered() ? routing.result : "no answer";
    }
    layer.CancelWith(nullptr);
    if (open) *open = std::move(port);
    return probe;
}

std::unique_ptr<CommandPort> FindModemPort(const LinkSettings& settings, ProbeSchedule& schedule,
                                           const std::atomic<bool>& cancelled,
                                           std::vector<PortProbe>& tried) {
    tried.clear();
    for (const int number : schedule.Due(ProbeSchedule::Clock::now(), kHighestPort)) {
        if (cancelled) break;
        std::unique_ptr<CommandPort> open;
        const PortProbe probe = ProbePort(settings, number, &open, &cancelled);
        if (cancelled) break;
        if (probe.kind != PortProbe::Kind::Absent) tried.push_back(probe);
        switch (probe.kind) {
            case PortProbe::Kind::Modem:
                schedule.Found(number);
                return open;
            case PortProbe::Kind::Silent:
            case PortProbe::Kind::NoAt:
            case PortProbe::Kind::NoSms:
                schedule.NotTheModem(number, ProbeSchedule::Clock::now());
                break;
            case PortProbe::Kind::Absent:
            case PortProbe::Kind::Held:
            case PortProbe::Kind::Unopenable:
                break;  // nothing was written to it
        }
    }
    return nullptr;
}

std::string NoModemFound(const std::vector<PortProbe>& tried) {
    if (tried.empty()) return "Port=auto found no COM port";
    std::string text = "Port=auto found no modem that receives SMS: ";
    for (std::size_t i = 0; i < tried.size(); ++i) {
        if (i > 0) text += "; ";
        text += tried[i].Describe();
    }
    return text;
}

}  // namespace pelvaro
