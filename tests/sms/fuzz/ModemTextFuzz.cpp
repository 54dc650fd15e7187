// libFuzzer target: arbitrary modem text through the receiver's path, text to
// octets to summary. Besides the sanitizers' checks, it holds the decoder to the
// bounds it promises.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    pelvaro::PduArea area;
    const std::size_t octets = pelvaro::ModemTextToOctets(text, area);
    Check(octets <= area.size());
    if (octets == 0) {
        return 0;
    }
    std::string summary = "left over";
    Check(pelvaro::PduDecoder::BuildSummary(area, summary));
    Check(summary.size() <= kLongestSummary);
    Check(summary.find('\0') == std::string::npos);
    return 0;
}
