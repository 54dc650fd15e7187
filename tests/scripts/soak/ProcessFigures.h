#pragma once
// What a long-running client watches of its own process, to see Pelvaro leak.

#include <string>

namespace pelvaro::soak {

struct ProcessFigures {
    unsigned long long privateBytes = 0;
    unsigned long handles = 0;
    unsigned long threads = 0;
};

ProcessFigures MeasureThisProcess();

// "private=N handles=N threads=N"
std::string Describe(const ProcessFigures& figures);

}  // namespace pelvaro::soak
