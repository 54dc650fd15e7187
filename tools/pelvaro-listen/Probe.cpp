#include "tools/pelvaro-listen/Probe.h"

#include <chrono>
#include <memory>
#include <string>

#include "modem/ModemCommands.h"
#include "modem/PortSearch.h"
#include "modem/Settings.h"
#include "tools/pelvaro-listen/Diagnosis.h"
#include "win/Widen.h"

namespace pelvaro::listen {
namespace {

constexpr auto kQuestionDeadline = std::chrono::seconds(1);

// The answer's first information line, or its result when it has none.
std::string Said(const Answer& answer) {
    if (!answer.lines.empty()) return answer.lines.front();
    return answer.Answered() ? answer.result : "no answer";
}

std::string Orelse(const std::string& line, const char* fallback) {
    return line.empty() ? fallback : line;
}

}  // namespace

int RunProbe(ConsoleOutput& out) {
    const LinkSettings settings = ReadLinkSettings(kDefaultSettingsPath);
    int chosen = 0;
    for (int number = 1; number <= kHighestPort; ++number) {
        std::unique_ptr<CommandPort> open;
        const PortProbe probe = ProbePort(settings, number, &open);
        if (probe.kind == PortProbe::Kind::Absent) continue;
        std::string text = probe.Describe() + "\r\n";
        if (open) {
            CommandLayer& layer = open->Layer();
            text += "    maker: " + Said(layer.Run(kMaker, kQuestionDeadline)) +
                    ", model: " + Said(layer.Run(kModel, kQuestionDeadline)) + "\r\n";
            text += "    SIM: " + Said(layer.Run(kSimState, kQuestionDeadline)) + "\r\n";
            text += "    SMS: " + Said(layer.Run(kServiceOffers, kQuestionDeadline)) + "; " +
                    Orelse(probe.routingOffers, "AT+CNMI=? offers nothing") + "; " +
                    Orelse(probe.storageOffers, "AT+CPMS=? offers nothing") + "\r\n";
        }
        if (probe.kind == PortProbe::Kind::Modem && chosen == 0) chosen = number;
        out.Write(Widen(text));
    }
    if (chosen == 0) {
        out.Write(L"Port=auto would find no modem that receives SMS\r\n");
        return kExitNotReceiving;
    }
    out.Write(L"Port=auto would take COM" + std::to_wstring(chosen) + L"\r\n");
    return kExitOk;
}

}  // namespace pelvaro::listen
