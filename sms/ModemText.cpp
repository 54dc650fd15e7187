#include "sms/ModemText.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace pelvaro {

namespace {

constexpr std::string_view kResultMarker = "+CM";

std::size_t Convert(const char* text, PduArea& area) {
    return PduDecoder::HexToOctets(text, area.data(), area.size());
}

// Modem output is ASCII. Upper-casing only serves to find "+CM" whatever case the
// modem used, and hexadecimal digits convert in either case, so a byte-wise
// toupper on a read-only view does the job without copying the text; bytes above
// 0x7F cannot form the marker whatever the locale makes of them.
std::size_t FindResultHeader(std::string_view text) {
    const auto found = std::search(
        text.begin(), text.end(), kResultMarker.begin(), kResultMarker.end(),
        [](char c, char marker) { return std::toupper(static_cast<unsigned char>(c)) == marker; });
    return found == text.end() ? std::string_view::npos
                               : static_cast<std::size_t>(found - text.begin());
}

}  // namespace

std::size_t ModemTextToOctets(const std::string& text, PduArea& area) {
    area.fill(0);
    const std::size_t direct = Convert(text.c_str(), area);
    if (direct > 0) {
        return direct;
    }

    const std::string_view view(text.c_str());
    const std::size_t header = FindResultHeader(view);
    if (header == std::string_view::npos) {
        return 0;
    }
    // The PDU follows the carriage return that ends the header line. It is looked
    // for from the header on, not from the start of the text, so that a line
    // received before the header does not hide the PDU.
    const std::size_t lineEnd = view.find('\r', header);
    if (lineEnd == std::string_view::npos) {
        return 0;
    }
    return Convert(view.data() + lineEnd, area);
}

}  // namespace pelvaro
