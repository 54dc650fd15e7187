// libFuzzer target: arbitrary modem text through the receiver's whole path, as the channel reads
// it in two pieces (cut where the first byte says), then each delivery to what the client gets, in
// the default and in the full reading, long messages joined. Besides the sanitizers' checks, it
// holds framing and readings to what they promise.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "modem/ModemFraming.h"
#include "sms/ClientMessage.h"
#include "sms/PduDecoder.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Header and PDU line of each delivery found, as one string each.
struct Found {
    std::vector<std::string> deliveries;
    std::size_t rest;
};

Found Frame(std::string_view text, bool ended = false) {
    pelvaro::ModemFraming framing(text, {}, ended);
    Found found;
    for (pelvaro::Delivery delivery; framing.Next(delivery);) {
        Check(delivery.header.size() + delivery.pdu.size() > 0);
        found.deliveries.push_back(std::string(delivery.header) + '\n' + std::string(delivery.pdu));
    }
    found.rest = framing.Rest();
    return found;
}

// What the channel hands out for `text` read in two pieces, the rest released at the end.
std::vector<std::string> FramedInTwo(const std::string& text, std::size_t split) {
    Found first = Frame(std::string_view(text).substr(0, split));
    Check(first.rest <= split);
    const std::string joined = text.substr(first.rest, split - first.rest) + text.substr(split);
    const Found second = Frame(joined);
    Check(second.rest <= joined.size());
    const Found released = Frame(std::string_view(joined).substr(second.rest), true);
    Check(released.rest == joined.size() - second.rest);
    for (const Found* more : {&second, &released}) {
        first.deliveries.insert(first.deliveries.end(), more->deliveries.begin(),
                                more->deliveries.end());
    }
    return first.deliveries;
}

pelvaro::Delivery View(const std::string& found) {
    const std::size_t cut = found.find('\n');
    return {std::string_view(found).substr(0, cut), std::string_view(found).substr(cut + 1)};
}

// The default reading: one summary of bounded length and without NULs, or nothing.
bool ReadByDefault(const pelvaro::Delivery& delivery) {
    std::vector<pelvaro::ClientMessage> ready;
    pelvaro::MessageReader reader;
    if (!reader.Read(delivery, pelvaro::MessageReader::Clock::now(), ready)) {
        Check(ready.empty());
        return false;
    }
    Check(ready.size() == 1);
    Check(ready[0].text.size() <= pelvaro::kLongestSummary);
    Check(ready[0].text.find(u'\0') == std::u16string::npos);
    return true;
}

void CheckFull(const std::vector<pelvaro::ClientMessage>& ready, std::size_t from) {
    for (std::size_t i = from; i < ready.size(); ++i) {
        const pelvaro::ClientMessage& message = ready[i];
        Check(message.textStart == std::u16string::npos ||
              message.textStart <= message.text.size());
        Check(message.parts >= 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    const std::vector<std::string> deliveries = FramedInTwo(text, split);
    // Where the text is cut makes no difference.
    Check(deliveries == FramedInTwo(text, size));
    // Both readings of every delivery; the full one joins the parts of long messages across them,
    // while time goes on by a minute a delivery, and gives out what is left at the end.
    pelvaro::MessageReader full(true);
    std::vector<pelvaro::ClientMessage> ready;
    auto now = pelvaro::MessageReader::Clock::time_point();
    for (const std::string& found : deliveries) {
        const pelvaro::Delivery delivery = View(found);
        const std::size_t before = ready.size();
        Check(full.Read(delivery, now, ready) == ReadByDefault(delivery));
        full.Expire(now += std::chrono::minutes(1), ready);
        CheckFull(ready, before);
    }
    const std::size_t before = ready.size();
    full.Flush(ready);
    CheckFull(ready, before);
    Check(ready.size() <= deliveries.size());
    return 0;
}
