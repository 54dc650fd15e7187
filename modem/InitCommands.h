#pragma once
// "Init" in SerComm.ini: AT commands of the user's own, sent after every set-up, for what a
// modem needs and Pelvaro does not know (Huawei's AT^CURC=0, a memory, a band). Plain C++.

#include <string>
#include <string_view>
#include <vector>

#include "modem/Settings.h"

namespace pelvaro {

// The commands of one "Init" line, without their "AT": "AT^CURC=0;+CPMS="ME","ME"" gives
// "^CURC=0" and "+CPMS="ME","ME"". They are separated by semicolons outside quotes, as on one AT
// command line; each is sent on a line of its own, since not every modem takes a maker's command
// beside a standard one.
std::vector<std::string> InitCommands(std::string_view line);

// Why the Init commands that `settings` give may not be sent, or empty: a PIN sent from here would
// go around the rule that sends each PIN once, and a line too long to be read whole would be cut
// inside a command.
std::string InitRefusal(const LinkSettings& settings);

}  // namespace pelvaro
