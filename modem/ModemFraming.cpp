#include "modem/ModemFraming.h"

#include <algorithm>
#include <cctype>

namespace pelvaro {

namespace {

// The unsolicited result that announces a delivered message.
constexpr std::string_view kHeader = "+CMT:";
constexpr std::string_view kLineEnd = "\r\n";

struct Line {
    std::size_t begin;
    std::string_view content;  // without the blanks around it
    bool ended;                // a line end follows it, or the text has ended
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

// The lines that hold more than blanks, one after the other. Any run of CR and LF ends a line.
class ContentLines {
  public:
    ContentLines(std::string_view text, bool ended) : text_(text), ended_(ended) {}

    bool Next(Line& line) {
        while (at_ < text_.size()) {
            if (IsLineEnd(text_[at_])) {
                ++at_;
                continue;
            }
            const std::size_t begin = at_;
            while (at_ < text_.size() && !IsLineEnd(text_[at_])) ++at_;
            line = {begin, Trimmed(text_.substr(begin, at_ - begin)), ended_ || at_ < text_.size()};
            if (!line.content.empty()) return true;
        }
        return false;
    }

  private:
    std::string_view text_;
    bool ended_;
    std::size_t at_ = 0;
};

bool SameLettersNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

// Also a line still on its way that may yet grow into a header ("+C").
bool IsHeader(const Line& line) {
    const std::string_view start = line.content.substr(0, kHeader.size());
    return SameLettersNoCase(start, kHeader.substr(0, start.size())) &&
           (start.size() == kHeader.size() || !line.ended);
}

// In text mode the header carries the sender, an optional name and the time stamp; in PDU mode
// only an optional name and the length.
bool IsTextModeHeader(std::string_view header) {
    int commas = 0;
    bool quoted = false;
    for (char c : header) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) ++commas;
    }
    return commas >= 2;
}

// Hexadecimal digits, which the conversion allows to be spaced out; 0 when the line holds
// anything else.
std::size_t HexDigits(std::string_view content) {
    std::size_t digits = 0;
    for (char c : content) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            ++digits;
        } else if (!IsBlank(c)) {
            return 0;
        }
    }
    return digits;
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

std::string Shaped(std::string_view header, std::string_view pdu) {
    std::string text;
    text.reserve(header.size() + pdu.size() + 3 * kLineEnd.size());
    if (!header.empty()) text.append(kLineEnd).append(header).append(kLineEnd);
    if (!pdu.empty()) text.append(pdu).append(kLineEnd);
    return text;
}

}  // namespace

FramedText FrameModemText(std::string_view text, std::string_view echo, bool ended) {
    ContentLines lines(text, ended);
    echo = Trimmed(echo);
    FramedText framed;
    framed.rest = text.size();
    Line line;
    Line after;
    bool more = lines.Next(line);
    while (more) {
        const Line* next = lines.Next(after) ? &after : nullptr;
        bool nextTaken = false;
        if (IsHeader(line)) {
            if (!line.ended || (!next && !ended) || (next && !next->ended)) {
                // The header or the line after it is still on its way.
                framed.rest = line.begin;
                framed.deliveryBegun = true;
                break;
            }
            if (IsTextModeHeader(line.content)) {
                // Its text line goes with it, whatever it looks like.
                nextTaken = next && !IsHeader(*next);
            } else if (!next) {
                framed.deliveries.push_back(Shaped(line.content, {}));
            } else if (IsPduAfterHeader(*next)) {
                framed.deliveries.push_back(Shaped(line.content, next->content));
                nextTaken = true;
            }
            // A header followed by anything else announces nothing that can be read.
        } else if (!line.ended) {
            // Whatever it is, what comes next belongs to it.
            framed.rest = line.begin;
            framed.deliveryBegun = IsBarePdu(line);
        } else if (IsBarePdu(line) && line.content != echo) {
            framed.deliveries.push_back(Shaped({}, line.content));
        }
        if (nextTaken) {
            more = lines.Next(line);
        } else {
            more = next != nullptr;
            line = after;
        }
    }
    return framed;
}

}  // namespace pelvaro
