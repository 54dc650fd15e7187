#include "tests/sms/bench/Corpus.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace pelvaro::bench {

namespace {

constexpr int kMessagesPerKind = 16;

// Septets for ASCII text whose characters keep their code in the GSM alphabet,
// with '{', '}', '[', ']', '~' and 'E' (for the euro sign) written as escape pairs.
std::vector<std::uint8_t> Septets(const std::string& text) {
    constexpr std::string_view kEscaped = "{}[]~E";
    constexpr std::uint8_t kExtensionCodes[] = {0x28, 0x29, 0x3C, 0x3E, 0x3D, 0x65};
    std::vector<std::uint8_t> septets;
    for (const char c : text) {
        const std::size_t escaped = kEscaped.find(c);
        if (escaped != std::string_view::npos) {
            septets.push_back(0x1B);
            septets.push_back(kExtensionCodes[escaped]);
        } else {
            septets.push_back(static_cast<std::uint8_t>(c));
        }
    }
    return septets;
}

std::string Hex(std::uint8_t octet) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(octet));
    return pair;
}

std::string PackedHex(const std::vector<std::uint8_t>& septets) {
    std::string hex;
    unsigned bits = 0;
    unsigned count = 0;
    for (const std::uint8_t septet : septets) {
        bits |= static_cast<unsigned>(septet) << count;
        count += 7;
        while (count >= 8) {
            hex += Hex(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) {
        hex += Hex(static_cast<std::uint8_t>(bits));
    }
    return hex;
}

// An SMS-DELIVER from an eleven-digit international number via a ten-digit centre.
Delivery MakeDelivery(const std::string& text, int variant) {
    const std::vector<std::uint8_t> septets = Septets(text);
    const std::string pdu = "0691214365870" + std::to_string(variant % 10) + "040B9121436587" +
                            Hex(static_cast<std::uint8_t>(0x10 * (variant % 10))) +
                            "F1000042302112000080" +
                            Hex(static_cast<std::uint8_t>(septets.size())) + PackedHex(septets);
    const std::string header = "+CMT: ," + std::to_string(pdu.size() / 2 - 7);
    return {"\r\n" + header + "\r\n" + pdu + "\r\n", pdu};
}

std::string Repeat(const std::string& pattern, std::size_t length, int shift) {
    std::string text;
    while (text.size() < length) {
        text += pattern.substr(shift % pattern.size()) + pattern.substr(0, shift % pattern.size());
    }
    return text.substr(0, length);
}

}  // namespace

std::vector<Delivery> Corpus(const std::string& kind) {
    const char* shortTexts[] = {"Ok, see you at 8",     "Call me back",
                                "Running late, 10 min", "Yes",
                                "Where are you?",       "Meeting moved to 3 pm"};
    std::vector<Delivery> corpus;
    for (int i = 0; i < kMessagesPerKind; ++i) {
        std::string text;
        if (kind == "short") {
            text = shortTexts[i % std::size(shortTexts)];
        } else if (kind == "160") {
            text = Repeat("The quick brown fox jumps over the lazy dog, 0123456789! ", 160, i);
        } else {
            // 120 characters in 160 septets: every third character is an escape pair.
            text = Repeat("ab{cd}ef[gh]ijEkl~", 120, i);
        }
        corpus.push_back(MakeDelivery(text, i));
    }
    return corpus;
}

std::vector<Delivery> LongMessageParts() {
    std::vector<Delivery> parts;
    for (int part = 1; part <= 3; ++part) {
        // Seven placeholder septets cover the six octets of the header and the fill bit after it.
        std::vector<std::uint8_t> septets(7, 0);
        const std::vector<std::uint8_t> text =
            Septets(Repeat("The quick brown fox jumps over the lazy dog. ", 153, part));
        septets.insert(septets.end(), text.begin(), text.end());
        const std::string header = "050003A703" + Hex(static_cast<std::uint8_t>(part));
        const std::string pdu = "06912143658709440B912143658709F1000042302112000080" +
                                Hex(static_cast<std::uint8_t>(septets.size())) + header +
                                PackedHex(septets).substr(header.size());
        parts.push_back({pdu, pdu});
    }
    return parts;
}

}  // namespace pelvaro::bench
