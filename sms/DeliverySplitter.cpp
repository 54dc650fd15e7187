#include "sms/DeliverySplitter.h"

#include <algorithm>
#include <cctype>

namespace pelvaro {

namespace {

// The unsolicited result that announces a delivered message in PDU mode.
constexpr std::string_view kHeader = "+CMT:";

struct Line {
    std::size_t begin;
    std::size_t end;
    std::string_view content;  // without the blanks around it
    bool ended;                // a line end follows it
};

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view content) {
    while (!content.empty() && IsBlank(content.front())) content.remove_prefix(1);
    while (!content.empty() && IsBlank(content.back())) content.remove_suffix(1);
    return content;
}

// Lines that hold more than blanks, in order.
std::vector<Line> ContentLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsLineEnd(text[i])) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        while (i < text.size() && !IsLineEnd(text[i])) ++i;
        const std::string_view content = Trimmed(text.substr(begin, i - begin));
        if (!content.empty()) lines.push_back({begin, i, content, i < text.size()});
    }
    return lines;
}

bool SameLettersNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool IsHeader(const Line& line) {
    const std::string_view start = line.content.substr(0, kHeader.size());
    // A line cut off by the end of the text may still grow into a header ("+C").
    return SameLettersNoCase(start, kHeader.substr(0, start.size())) &&
           (start.size() == kHeader.size() || !line.ended);
}

// Hexadecimal digits, which the conversion allows to be spaced out; 0 when the line holds
// anything else.
std::size_t HexDigits(std::string_view content) {
    const auto digits = std::count_if(content.begin(), content.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
    const auto blanks = std::count_if(content.begin(), content.end(), IsBlank);
    return static_cast<std::size_t>(digits + blanks) == content.size()
               ? static_cast<std::size_t>(digits)
               : 0;
}

// Single digits are numeric result codes. A line still on its way may yet grow into a PDU.
bool IsPduAfterHeader(const Line& line) {
    const std::size_t digits = HexDigits(line.content);
    return line.ended ? digits >= 2 : digits > 0;
}

// Without a header, short or odd runs of digits are numeric result codes too.
bool IsBarePdu(const Line& line) {
    const std::size_t digits = HexDigits(line.content);
    return line.ended ? digits >= 4 && digits % 2 == 0 : digits > 0;
}

// From the start of `first` to the end of the PDU line, or to the end of the text while the PDU
// line is cut off.
Delivery Spanning(std::string_view text, const Line& first, const Line& pdu,
                  std::string_view header) {
    const bool cutOff = !pdu.ended;
    return {first.begin, cutOff ? text.size() : pdu.end, header, pdu.content, cutOff};
}

}  // namespace

std::vector<Delivery> SplitDeliveries(std::string_view text) {
    const std::vector<Line> lines = ContentLines(text);
    std::vector<Delivery> found;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const Line& line = lines[k];
        if (IsHeader(line)) {
            if (k + 1 == lines.size()) {
                // Its PDU line has not begun yet.
                found.push_back({line.begin, text.size(), line.content, {}, true});
            } else if (IsPduAfterHeader(lines[k + 1])) {
                found.push_back(Spanning(text, line, lines[k + 1], line.content));
                ++k;
            }
            // A header followed by anything else announces nothing we can read.
        } else if (IsBarePdu(line)) {
            found.push_back(Spanning(text, line, line, {}));
        }
    }
    return found;
}

}  // namespace pelvaro
