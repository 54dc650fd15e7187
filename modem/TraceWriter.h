#pragma once
// The one writer of trace files in the process.

#include <string>
#include <vector>

namespace pelvaro {

// Appends the lines to the file at `path`, each in one write and all under one lock, which
// writers in other processes take too, so that ports on several threads or in several processes
// never mix within a line. At kTraceRolloverBytes the file is renamed to its .1 file and a new
// one begun, once however many processes write it; where the rename fails, the file is emptied
// in place and its first line says so. Lines for a file that cannot be opened are dropped: a
// trace never fails the port.
void AppendTraceLines(const std::string& path, const std::vector<std::string>& lines);

}  // namespace pelvaro
