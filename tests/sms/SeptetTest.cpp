#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sms/PduDecoder.h"

namespace pelvaro {
namespace {

// Packs septets bit by bit: septet i occupies bits 7i to 7i + 6 of the user data,
// least significant bit first.
std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& septets) {
    std::vector<std::uint8_t> octets((septets.size() * 7 + 7) / 8, 0);
    for (std::size_t i = 0; i < septets.size(); ++i) {
        for (std::size_t bit = 0; bit < 7; ++bit) {
            if (septets[i] & (1u << bit)) {
                const std::size_t at = 7 * i + bit;
                octets[at / 8] |= static_cast<std::uint8_t>(1u << (at % 8));
            }
        }
    }
    return octets;
}

TEST(UnpackSeptets, RoundTripsEveryLengthUpTo160) {
    for (std::size_t length = 0; length <= 160; ++length) {
        std::vector<std::uint8_t> septets(length);
        for (std::size_t i = 0; i < length; ++i) {
            septets[i] = static_cast<std::uint8_t>((i * 53 + length) % 128);
        }
        std::vector<std::uint8_t> field = Pack(septets);
        field.insert(field.begin(), static_cast<std::uint8_t>(length));

        char out[400];
        const std::size_t count =
            PduDecoder::UnpackSeptets(OctetView(field.data(), field.size()), out, sizeof out);

        ASSERT_EQ(count, length);
        for (std::size_t i = 0; i < length; ++i) {
            ASSERT_EQ(static_cast<std::uint8_t>(out[i]), septets[i])
                << "length " << length << ", septet " << i;
        }
        EXPECT_EQ(out[length], '\0') << "length " << length;
    }
}

}  // namespace
}  // namespace pelvaro
