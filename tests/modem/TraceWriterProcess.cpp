// A trace writer in a process of its own, for the test of writers in several processes: it
// releases the semaphore READY, and once the event START is set, appends COUNT numbered lines of
// its TAG to the trace file PATH, BATCH lines a time, as a port writes them; each line is 100
// bytes.
//
//   modem_trace_writer PATH TAG COUNT BATCH READY START

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "modem/TraceWriter.h"

int main(int argc, char** argv) {
    if (argc != 7) return 2;
    const int count = std::atoi(argv[3]), batch = std::atoi(argv[4]);
    const HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, argv[5]);
    const HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[6]);
    if (!ready || !start || !ReleaseSemaphore(ready, 1, nullptr)) return 3;
    if (WaitForSingleObject(start, 30000) != WAIT_OBJECT_0) return 3;
    for (int first = 0; first < count; first += batch) {
        std::vector<std::string> lines;
        for (int i = first; i < first + batch && i < count; ++i) {
            char line[120];
            std::snprintf(line, sizeof line, "%s %06d %s\r\n", argv[2], i,
                          std::string(89, '.').c_str());
            lines.push_back(line);
        }
        pelvaro::AppendTraceLines(argv[1], lines);
    }
    return 0;
}
