// libFuzzer target: arbitrary modem text through the receiver's whole path, as the channel reads
// it in two pieces (cut where the first byte says), then each delivery to octets and summary.
// Besides the sanitizers' checks, it holds framing and decoder to what they promise.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "modem/ModemFraming.h"
#include "sms/ModemText.h"
#include "sms/PduDecoder.h"

namespace {

// Labels, 398 digits each for the two numbers, 255 characters of text.
constexpr std::size_t kLongestSummary = 19 + 398 + 15 + 398 + 8 + 255;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// What the channel hands out for `text` read in two pieces, the rest released at the end.
std::vector<std::string> FramedInTwo(const std::string& text, std::size_t split) {
    pelvaro::FramedText first = pelvaro::FrameModemText(std::string_view(text).substr(0, split));
    Check(first.rest <= split);
    const std::string joined = text.substr(first.rest, split - first.rest) + text.substr(split);
    pelvaro::FramedText second = pelvaro::FrameModemText(joined);
    Check(second.rest <= joined.size());
    pelvaro::FramedText released = pelvaro::FrameModemText(joined.substr(second.rest), {}, true);
    Check(released.rest == joined.size() - second.rest);
    for (auto* more : {&second, &released}) {
        first.deliveries.insert(first.deliveries.end(), more->deliveries.begin(),
                                more->deliveries.end());
    }
    return first.deliveries;
}

void Summarise(const std::string& delivery) {
    Check(delivery.size() >= 2 && delivery.compare(delivery.size() - 2, 2, "\r\n") == 0);
    pelvaro::PduArea area;
    const std::size_t octets = pelvaro::ModemTextToOctets(delivery, area);
    Check(octets <= area.size());
    if (octets == 0) {
        return;
    }
    std::string summary = "left over";
    Check(pelvaro::PduDecoder::BuildSummary(area, summary));
    Check(summary.size() <= kLongestSummary);
    Check(summary.find('\0') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    const std::vector<std::string> deliveries = FramedInTwo(text, split);
    // Where the text is cut makes no difference.
    Check(deliveries == FramedInTwo(text, size));
    for (const std::string& delivery : deliveries) {
        Summarise(delivery);
    }
    return 0;
}
