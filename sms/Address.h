#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelvaro {

// What an address field's length octet counts.
enum class AddressLength : std::uint8_t {
    Octets,      // the service centre's (TS 24.011 8.2.5.1): the octets that follow it
    SemiOctets,  // a TP address's (TS 23.040 9.1.2.5): its digits, or the semi-octets of a name
};

// An address as a person reads it: "+4915112345678", "PayPal", "*100#". Room for the longest
// any length octet can announce, so nothing is ever cut.
class AddressText {
  public:
    static constexpr std::size_t kCapacity = 512;

    std::u16string_view View() const { return {chars_.data(), size_}; }
    bool Empty() const { return size_ == 0; }

    void Clear() { size_ = 0; }
    void Append(char16_t c) { chars_[size_++] = c; }
    char16_t* End() { return chars_.data() + size_; }
    void Grow(std::size_t count) { size_ += count; }
    void DropLast() { --size_; }

  private:
    std::array<char16_t, kCapacity> chars_;
    std::size_t size_ = 0;
};

struct Address {
    std::uint8_t type = 0;  // the type-of-address octet
    AddressText text;
};

// Reads the address field that begins with its length octet at field[0], of which `size` octets
// are there, into `address`, and returns the octets the field takes by its length octet, whether or
// not that many are there. The type of number decides the text (TS 23.040 9.1.2.5): a name
// (alphanumeric, 101) is unpacked from GSM 7-bit, as many characters as its semi-octets hold;
// digits are shown with the semi-octets 10 to 14 as '*', '#', 'a', 'b' and 'c', and an
// international number (001) with a leading '+'. The semi-octet 15 is a filler and shows nothing.
std::size_t ReadAddress(const std::uint8_t* field, std::size_t size, AddressLength length,
                        Address& address);

}  // namespace pelvaro
