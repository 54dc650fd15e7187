#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sms/OctetView.h"

namespace pelvaro {

// The receiver's octet area. Converted modem text fills its start and the rest
// stays zero; the decoder reads nothing outside it.
constexpr std::size_t kPduAreaSize = 200;
using PduArea = std::array<std::uint8_t, kPduAreaSize>;

// Room for the longest summary: its labels, 398 digits for each number and 255 characters of text.
constexpr std::size_t kLongestSummary = 19 + 398 + 15 + 398 + 8 + 255;
using SummaryBuffer = std::array<char, kLongestSummary>;

// How DecodeAddress reads an address field's length octet.
enum class AddressMode {
    ServiceCentre = 0,  // counts the octets after it: type of address and digit octets
    TpAddress = 1,      // counts the digits of an originator or recipient number
};

// Turns a received PDU (service-centre address followed by the TPDU of an
// SMS-DELIVER or SMS-SUBMIT) into the summary text raised to clients:
//
//   "Service Center No: " digits                          when the centre has digits
//   "\r\nSender No: " or "\r\nReceiver No: " digits       when the number has 2+ digits
//   "\r\nText: " the message text in Windows-1252         when TP-UDL is 1 or more
//
// Every message text is read as packed GSM 7-bit septets, whatever the data coding
// scheme says; user data headers are shown as text. Decoding never fails: malformed
// input shows only in the text. Nothing here keeps state, so every member is static
// and may run on any thread.
class PduDecoder {
  public:
    virtual ~PduDecoder() = default;

    // Value 0 to 255 of the two hexadecimal digits at `pair` (either case), or -1
    // when either is not one. Both characters are read.
    static int HexPairValue(const char* pair);

    // Converts the NUL-terminated hexadecimal `text` into at most `capacity` octets
    // and returns how many it stored. White space between pairs is skipped; the
    // first character that is not part of a hexadecimal pair ends the conversion,
    // and a lone final digit is dropped.
    static std::size_t HexToOctets(const char* text, std::uint8_t* octets, std::size_t capacity);
    // The same for text that ends where the view ends, or at a NUL before that.
    static std::size_t HexToOctets(std::string_view text, std::uint8_t* octets,
                                   std::size_t capacity);

    // Writes the digits of the address field that starts at `field` (its length
    // octet) to `digits`, NUL-terminated, within `capacity` bytes: low nibble first,
    // nibbles 10 to 15 as ':' to '?', a high nibble F in the last octet taken as the
    // filler of an odd-length number. Returns 1 when the length octet is below 2
    // (no digits shown), else the size of the whole field in octets.
    static std::size_t DecodeAddress(OctetView field, char* digits, std::size_t capacity,
                                     AddressMode mode);

    // Unpacks the septets announced by the TP-UDL octet at `udl[0]` from the packed
    // user data after it, one byte (0 to 127) per septet, followed by a NUL, within
    // `capacity` bytes. Returns the number of septets written.
    static std::size_t UnpackSeptets(OctetView udl, char* septets, std::size_t capacity);

    // Replaces `summary` with the summary of the PDU at the start of `octets`.
    // Allocates nothing but the summary's own storage (once, if it is too small).
    // Always returns true.
    static bool BuildSummary(const PduArea& octets, std::string& summary);
    // The same summary written into `summary`, without allocating; returns its length.
    static std::size_t WriteSummary(const PduArea& octets, SummaryBuffer& summary);
};

}  // namespace pelvaro
