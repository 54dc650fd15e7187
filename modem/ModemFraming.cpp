#include "modem/ModemFraming.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "modem/AsciiText.h"

namespace pelvaro {

namespace {

// The results that a PDU line follows, and how many commas their PDU-mode form has: one more is
// the text mode, which carries the sender where PDU mode carries the length.
struct HeaderRule {
    std::string_view prefix;
    FramedKind kind;
    int pduModeCommas;
};
constexpr HeaderRule kHeaders[] = {
    {"+CMT:", FramedKind::Delivery, 1},        // +CMT: [<alpha>],<length>
    {"+CMGR:", FramedKind::StoredMessage, 2},  // +CMGR: <stat>,[<alpha>],<length>
    {"+CMGL:", FramedKind::StoredMessage, 3},  // +CMGL: <index>,<stat>,[<alpha>],<length>
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

// The header rule the line starts with; also for a line still on its way that may yet grow into
// a header ("+C"). Null for any other line.
const HeaderRule* HeaderOf(std::string_view content, bool ended) {
    for (const HeaderRule& rule : kHeaders) {
        const std::string_view start = content.substr(0, rule.prefix.size());
        if (EqualsNoCase(start, rule.prefix.substr(0, start.size())) &&
            (start.size() == rule.prefix.size() || !ended)) {
            return &rule;
        }
    }
    return nullptr;
}

bool IsTextModeHeader(std::string_view header, const HeaderRule& rule) {
    int commas = 0;
    bool quoted = false;
    for (char c : header) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) ++commas;
    }
    return commas > rule.pduModeCommas;
}

// What each character is to a PDU line: a digit, a blank or neither. A table, since every
// character of every PDU passes through here.
enum CharacterKind : unsigned char { kOther, kHexDigit, kBlank };
constexpr std::array<unsigned char, 256> kCharacterKinds = [] {
    std::array<unsigned char, 256> kinds{};
    for (const char c : std::string_view("0123456789ABCDEFabcdef")) {
        kinds[static_cast<unsigned char>(c)] = kHexDigit;
    }
    kinds[' '] = kinds['\t'] = kBlank;
    return kinds;
}();

// Eight characters at a time, in the bytes of one word, where a PDU line's hundreds of characters
// are looked at: which bytes equal a given one, and which are hexadecimal digits. Each answer is
// the top bit of its byte; the order of the bytes in the word does not matter.
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHigh = 0x8080808080808080u;

std::uint64_t Word(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

std::uint64_t BytesEqual(std::uint64_t word, char c) {
    const std::uint64_t x = word ^ (static_cast<unsigned char>(c) * kOnes);
    return ~(((x & ~kHigh) + ~kHigh) | x) & kHigh;
}

// For bytes below 0x80: whether each is at least n.
std::uint64_t BytesAtLeast(std::uint64_t word, unsigned n) {
    return (word + (0x80 - n) * kOnes) & kHigh;
}

bool AllHexDigits(std::uint64_t word) {
    if ((word & kHigh) != 0) return false;
    const std::uint64_t digit = BytesAtLeast(word, '0') & ~BytesAtLeast(word, '9' + 1);
    const std::uint64_t lower = word | 0x20 * kOnes;  // 'A' to 'F' as 'a' to 'f'
    const std::uint64_t letter = BytesAtLeast(lower, 'a') & ~BytesAtLeast(lower, 'f' + 1);
    return ((digit | letter) & kHigh) == kHigh;
}

// Where the line that goes on at `at` ends: at its first CR or LF, or at the end of the text.
std::size_t LineEnd(std::string_view text, std::size_t at) {
    for (; text.size() - at >= 8; at += 8) {
        const std::uint64_t word = Word(text.data() + at);
        if ((BytesEqual(word, '\r') | BytesEqual(word, '\n')) != 0) break;
    }
    while (at < text.size() && !IsLineEnd(text[at])) ++at;
    return at;
}

// Hexadecimal digits, which the conversion allows to be spaced out; 0 when the line holds
// anything else.
std::size_t HexDigits(std::string_view content) {
    std::size_t digits = 0;
    while (content.size() >= 8 && AllHexDigits(Word(content.data()))) {
        digits += 8;
        content.remove_prefix(8);
    }
    for (char c : content) {
        const unsigned char kind = kCharacterKinds[static_cast<unsigned char>(c)];
        if (kind == kOther) return 0;
        digits += kind == kHexDigit;
    }
    return digits;
}

// Single digits are numeric result codes. A line still on its way may yet grow into a PDU.
bool IsPduAfterHeader(std::string_view content, bool ended) {
    const std::size_t digits = HexDigits(content);
    return ended ? digits >= 2 : digits > 0;
}

// Without a header, short or odd runs of digits are numeric result codes too.
bool IsBarePdu(std::string_view content, bool ended) {
    const std::size_t digits = HexDigits(content);
    return ended ? digits >= 4 && digits % 2 == 0 : digits > 0;
}

}  // namespace

ModemFraming::ModemFraming(std::string_view text, std::string_view echo, bool ended)
    : text_(text), echo_(Trimmed(echo)), ended_(ended), rest_(text.size()) {
    haveLine_ = NextLine(line_);
}

// The lines that hold more than blanks, one after the other. Any run of CR and LF ends a line.
bool ModemFraming::NextLine(Line& line) {
    while (at_ < text_.size()) {
        if (IsLineEnd(text_[at_])) {
            ++at_;
            continue;
        }
        const std::size_t begin = at_;
        at_ = LineEnd(text_, at_);
        line = {begin, Trimmed(text_.substr(begin, at_ - begin)), ended_ || at_ < text_.size()};
        if (!line.content.empty()) return true;
    }
    return false;
}

bool ModemFraming::Next(Delivery& delivery) {
    FramedItem item;
    while (Next(item)) {
        if (item.kind != FramedKind::Line) {
            delivery = item.AsDelivery();
            return true;
        }
    }
    return false;
}

bool ModemFraming::Next(FramedItem& item) {
    while (haveLine_) {
        const Line line = line_;
        Line after;
        const bool hasNext = NextLine(after);
        bool nextTaken = false;
        item = {FramedKind::Line, line.content, {}};
        if (const HeaderRule* header = HeaderOf(line.content, line.ended)) {
            if (!line.ended || (!hasNext && !ended_) || (hasNext && !after.ended)) {
                // The header or the line after it is still on its way.
                rest_ = line.begin;
                deliveryBegun_ = true;
                haveLine_ = false;
                return false;
            }
            if (IsTextModeHeader(line.content, *header)) {
                // Its text line goes with it, whatever it looks like.
                nextTaken = hasNext && !HeaderOf(after.content, after.ended);
            } else if (!hasNext) {
                item.kind = header->kind;
            } else if (IsPduAfterHeader(after.content, after.ended)) {
                item = {header->kind, line.content, after.content};
                nextTaken = true;
            }
            // A header followed by anything else announces nothing that can be read.
        } else if (!line.ended) {
            // Whatever it is, what comes next belongs to it.
            rest_ = line.begin;
            deliveryBegun_ = IsBarePdu(line.content, line.ended);
            haveLine_ = false;
            return false;
        } else if (IsBarePdu(line.content, line.ended) && line.content != echo_) {
            item = {FramedKind::Delivery, {}, line.content};
        }
        if (nextTaken) {
            haveLine_ = NextLine(line_);
        } else {
            haveLine_ = hasNext;
            line_ = after;
        }
        return true;
    }
    return false;
}

}  // namespace pelvaro
