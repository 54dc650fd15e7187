#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "sms/PduDecoder.h"

namespace pelvaro::test {

// "06 91 21" as octets. Parsed independently of the code under test.
inline std::vector<std::uint8_t> Octets(const std::string& spaced) {
    std::istringstream in(spaced);
    std::vector<std::uint8_t> octets;
    std::string pair;
    while (in >> pair) {
        octets.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return octets;
}

inline PduArea Area(const std::vector<std::uint8_t>& octets) {
    PduArea area{};
    for (std::size_t i = 0; i < octets.size() && i < area.size(); ++i) {
        area[i] = octets[i];
    }
    return area;
}

inline std::string Summary(const PduArea& area) {
    std::string summary;
    PduDecoder::BuildSummary(area, summary);
    return summary;
}

}  // namespace pelvaro::test
