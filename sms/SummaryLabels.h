#pragma once
// The labels of the summary that clients get as MsgText, the same in every reading.

#include <string_view>

namespace pelvaro {

constexpr std::string_view kCentreLabel = "Service Center No: ";
constexpr std::string_view kSenderLabel = "\r\nSender No: ";
constexpr std::string_view kReceiverLabel = "\r\nReceiver No: ";
constexpr std::string_view kTextLabel = "\r\nText: ";

}  // namespace pelvaro
