#include "modem/InitCommands.h"

#include "modem/AsciiText.h"

namespace pelvaro {
namespace {

constexpr std::string_view kPinCommand = "+CPIN";

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::vector<std::string> InitCommands(std::string_view line) {
    std::vector<std::string> commands;
    line = Trimmed(line);
    if (StartsWithNoCase(line, "AT")) line.remove_prefix(2);
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= line.size(); ++at) {
        if (at < line.size() && line[at] == '"') quoted = !quoted;
        if (at == line.size() || (line[at] == ';' && !quoted)) {
            std::string_view command = Trimmed(line.substr(start, at - start));
            if (StartsWithNoCase(command, "AT")) command.remove_prefix(2);
            if (!command.empty()) commands.emplace_back(command);
            start = at + 1;
        }
    }
    return commands;
}

std::string InitRefusal(const LinkSettings& settings) {
    if (settings.initTooLong) {
        return "Init in SerComm.ini is longer than " + std::to_string(kLongestText) +
               " characters, and nothing of it is sent";
    }
    for (const std::string& command : InitCommands(settings.init)) {
        if (StartsWithNoCase(command, kPinCommand)) {
            // Not the command itself: it may hold a PIN, which no error text shows.
            return "Init in SerComm.ini holds an AT+CPIN command, and nothing is sent: give the "
                   "PIN as PIN=..., which is sent only once";
        }
    }
    return {};
}

}  // namespace pelvaro
