#pragma once
// The command line of pelvaro-listen.

#include <optional>
#include <string>
#include <vector>

namespace pelvaro::listen {

extern const char kUsage[];

struct Options {
    bool help = false;
    // Empty: listen until Ctrl+C.
    std::optional<unsigned> seconds;
    // Print the modem dialogue from the trace file too.
    bool trace = false;
    // Say what each COM port is, and which Port=auto would take, instead of listening.
    bool probe = false;
};

struct ParsedArguments {
    Options options;
    std::string error;  // empty when the command line was good
};

// args excludes the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& args);

}  // namespace pelvaro::listen
