#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pelvaro {

// Read-only window on octets that reads 0 past its end.
//
// The decoder walks a message by length octets taken from the message itself, so
// no read may trust them: whatever they claim, reads stay inside the area, and a
// read past it continues the area's zero fill.
class OctetView {
  public:
    constexpr OctetView() = default;
    constexpr OctetView(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    constexpr std::uint8_t operator[](std::size_t index) const {
        return index < size_ ? data_[index] : 0;
    }

    constexpr const std::uint8_t* Data() const { return data_; }
    constexpr std::size_t Size() const { return size_; }

    // The octets from offset on; an empty view when offset is at or past the end.
    constexpr OctetView From(std::size_t offset) const {
        return offset < size_ ? OctetView(data_ + offset, size_ - offset) : OctetView();
    }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// The eight octets at `octets` as one word, the first in its low byte: how packed septets are read
// eight at a time.
inline std::uint64_t LittleEndianWord(const std::uint8_t* octets) {
    std::uint64_t word;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(&word, octets, sizeof word);
#else
    word = 0;
    for (int i = 7; i >= 0; --i) word = word << 8 | octets[i];
#endif
    return word;
}

}  // namespace pelvaro
