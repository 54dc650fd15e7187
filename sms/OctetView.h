#pragma once

#include <cstddef>
#include <cstdint>

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

    // The octets from offset on; an empty view when offset is at or past the end.
    constexpr OctetView From(std::size_t offset) const {
        return offset < size_ ? OctetView(data_ + offset, size_ - offset) : OctetView();
    }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace pelvaro
