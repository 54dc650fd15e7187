#pragma once
// The one writer of trace files in the process.

#include <string>
#include <vector>

namespace pelvaro {

// Appends the lines to the file at `path`, each in one write and all under one lock, so that
// ports on several threads never mix within a line; at kTraceRolloverBytes the file is renamed
// and a new one begun. Lines for a file that cannot be opened are dropped: a trace never fails
// the port.
void AppendTraceLines(const std::string& path, const std::vector<std::string>& lines);

}  // namespace pelvaro
