#include "modem/Deliveries.h"

#include <algorithm>
#include <cctype>

namespace pelvaro {
namespace {

constexpr const char* kHeader = "+CMT:";
constexpr std::size_t kHeaderLength = 5;
// Shorter hexadecimal lines are numeric result codes, not messages.
constexpr std::size_t kShortestBareLine = 4;

struct Line {
    std::string body;
    bool ended;
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back({text.substr(start), false});
            break;
        }
        if (end > start) lines.push_back({text.substr(start, end - start), true});
        start = end + 1;
    }
    return lines;
}

bool IsHex(const std::string& body) {
    return !body.empty() && std::all_of(body.begin(), body.end(),
                                        [](unsigned char c) { return std::isxdigit(c) != 0; });
}

bool StartsWithHeader(const std::string& body) {
    const std::size_t length = std::min(body.size(), kHeaderLength);
    for (std::size_t i = 0; i < length; ++i) {
        if (std::toupper(static_cast<unsigned char>(body[i])) != kHeader[i]) return false;
    }
    return true;
}

bool IsHeader(const Line& line) {
    // An unended line may be a header still on its way ("+C").
    return StartsWithHeader(line.body) && (line.body.size() >= kHeaderLength || !line.ended);
}

bool IsBarePdu(const Line& line) {
    if (!IsHex(line.body)) return false;
    return !line.ended || (line.body.size() >= kShortestBareLine && line.body.size() % 2 == 0);
}

std::string WithLineEnd(const Line& line) {
    return line.ended ? line.body + "\r\n" : line.body;
}

}  // namespace

std::vector<Delivery> FindDeliveries(const std::string& received, const std::string& echo) {
    const std::vector<Line> lines = SplitLines(received);
    std::vector<Delivery> found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.body == echo) continue;
        if (IsHeader(line)) {
            Delivery delivery{"\r\n" + WithLineEnd(line), false};
            if (line.ended && i + 1 < lines.size()) {
                const Line& pdu = lines[i + 1];
                if (!IsHex(pdu.body)) continue;  // a header without its PDU cannot be decoded
                delivery.text += WithLineEnd(pdu);
                delivery.complete = pdu.ended;
                ++i;
            }
            found.push_back(std::move(delivery));
        } else if (IsBarePdu(line)) {
            found.push_back({WithLineEnd(line), line.ended});
        }
    }
    return found;
}

}  // namespace pelvaro
