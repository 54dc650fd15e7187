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
    bool terminated;  // a line end follows it
};

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Lines that hold more than blanks, in order.
std::vector<Line> NonEmptyLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsLineEnd(text[i])) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        while (i < text.size() && !IsLineEnd(text[i])) ++i;
        const std::string_view content = text.substr(begin, i - begin);
        if (!std::all_of(content.begin(), content.end(), IsBlank)) {
            lines.push_back({begin, i, i < text.size()});
        }
    }
    return lines;
}

std::string_view Content(std::string_view text, const Line& line) {
    std::string_view content = text.substr(line.begin, line.end - line.begin);
    while (!content.empty() && IsBlank(content.front())) content.remove_prefix(1);
    while (!content.empty() && IsBlank(content.back())) content.remove_suffix(1);
    return content;
}

bool SameLettersNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool IsHeader(std::string_view content) {
    return content.size() >= kHeader.size() &&
           SameLettersNoCase(content.substr(0, kHeader.size()), kHeader);
}

// A line cut off by the end of the read that may still grow into a header.
bool IsHeaderStart(std::string_view content) {
    return !content.empty() && content.size() < kHeader.size() &&
           SameLettersNoCase(content, kHeader.substr(0, content.size()));
}

// Hexadecimal pairs, which the conversion allows to be spaced out; 0 when the line holds anything
// else.
std::size_t HexDigits(std::string_view content) {
    const auto digits = std::count_if(content.begin(), content.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
    const auto blanks = std::count_if(content.begin(), content.end(), IsBlank);
    return static_cast<std::size_t>(digits + blanks) == content.size()
               ? static_cast<std::size_t>(digits)
               : 0;
}

bool IsPduAfterHeader(std::string_view content) {
    return HexDigits(content) >= 2;
}

// Without a header, short or odd lines of digits are numeric result codes, not PDUs.
bool IsBarePdu(std::string_view content) {
    const std::size_t digits = HexDigits(content);
    return digits >= 4 && digits % 2 == 0;
}

}  // namespace

DeliverySplit SplitDeliveries(std::string_view text, std::size_t holdFrom) {
    DeliverySplit split;
    const std::vector<Line> lines = NonEmptyLines(text);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const Line& line = lines[k];
        const std::string_view content = Content(text, line);
        const bool header = IsHeader(content);
        if (header || (!line.terminated && IsHeaderStart(content))) {
            const bool complete =
                line.terminated && k + 1 < lines.size() && lines[k + 1].terminated;
            if (!complete) {
                // The rest of this delivery is still on its way.
                if (line.begin >= holdFrom) {
                    split.held = text.substr(line.begin);
                } else {
                    split.deliveries.emplace_back(text.substr(line.begin));
                }
                break;
            }
            const Line& pdu = lines[k + 1];
            if (IsPduAfterHeader(Content(text, pdu))) {
                split.deliveries.emplace_back(text.substr(line.begin, pdu.end - line.begin));
                ++k;
            }
            // A header followed by anything but PDU text announces nothing we can read.
            continue;
        }
        if (IsBarePdu(content)) {
            split.deliveries.emplace_back(text.substr(line.begin, line.end - line.begin));
        }
    }
    return split;
}

}  // namespace pelvaro
