#include "tools/pelvaro-listen/Arguments.h"

#include <charconv>
#include <string_view>

namespace pelvaro::listen {

const char kUsage[] =
    R"(Usage: pelvaro-listen [--seconds N] [--trace]
       pelvaro-listen --probe

Creates the COM object Pelvaro.ReadSms, connects to its events, calls
StartReceiving and prints every SMS the modem delivers (the OnNewSms summary,
with a time stamp) and every TestEvent (the modem stopped answering). After
a TestEvent it calls StartReceiving again and, when that fails, prints why.

The modem's COM port comes from SerComm.ini in the current folder:
  [SerComm Options]
  Port=3
Without that file Pelvaro uses COM4.

Options:
  --seconds N   stop after N seconds (0: start, then stop at once);
                without it pelvaro-listen runs until Ctrl+C
  --trace       print the modem dialogue too, in time order with the
                messages: the lines Pelvaro appends to the trace file
                that SerComm.ini names (Trace File=pelvaro.log in
                [SerComm Options]), each with its time and direction
                (-> sent, <- received)
  --probe       listen to nothing: for each COM port, whether it opens,
                whether it answers AT, its maker and model, the SIM's
                state and what it offers for SMS, and which port
                Port=auto would take (exit status 4 when none)
  --help        show this text

Exit status: 0 when it ended as asked, 1 for any other failure,
2 for bad usage (also --trace when SerComm.ini names no trace file),
3 when Pelvaro.ReadSms cannot be created (not registered),
4 when StartReceiving failed (port or modem).
)";

namespace {

// Whole seconds that still fit a 32-bit count of milliseconds.
constexpr unsigned kMaxSeconds = 4294967;

std::optional<unsigned> ParseSeconds(std::string_view text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end || value > kMaxSeconds) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            parsed.options.help = true;
            continue;
        }
        if (arg == "--trace") {
            parsed.options.trace = true;
            continue;
        }
        if (arg == "--probe") {
            parsed.options.probe = true;
            continue;
        }
        std::string_view value;
        if (arg == "--seconds") {
            if (i + 1 == args.size()) {
                parsed.error = "--seconds needs a number";
                return parsed;
            }
            value = args[++i];
        } else if (arg.substr(0, 10) == "--seconds=") {
            value = arg.substr(10);
        } else {
            parsed.error = "unknown argument " + std::string(arg);
            return parsed;
        }
        parsed.options.seconds = ParseSeconds(value);
        if (!parsed.options.seconds) {
            parsed.error = "--seconds takes a whole number from 0 to " +
                           std::to_string(kMaxSeconds) + ", not \"" + std::string(value) + "\"";
            return parsed;
        }
    }
    return parsed;
}

}  // namespace pelvaro::listen
