#pragma once
// The labels of the summary that clients get as MsgText, the same in every reading; the time
// stamps' lines only in the full one.

#include <string_view>

namespace pelvaro {

constexpr std::string_view kCentreLabel = "Service Center No: ";
constexpr std::string_view kSenderLabel = "\r\nSender No: ";
constexpr std::string_view kReceiverLabel = "\r\nReceiver No: ";
constexpr std::string_view kSentLabel = "\r\nSent: ";
constexpr std::string_view kDischargedLabel = "\r\nDischarged: ";
constexpr std::string_view kTextLabel = "\r\nText: ";

}  // namespace pelvaro
