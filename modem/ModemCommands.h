#pragma once
// The commands Pelvaro gives the modem; the channel puts "AT" in front of the framed ones.

namespace pelvaro {

inline constexpr char kPduMode[] = "+CMGF=0";
inline constexpr char kPhase2Plus[] = "+CSMS=1";
inline constexpr char kPhase2[] = "+CSMS=0";
inline constexpr char kDirectRouting[] = "+CNMI=1,2";
inline constexpr char kRoutingOffers[] = "+CNMI=?";
inline constexpr char kStorageOffers[] = "+CPMS=?";
inline constexpr char kAcknowledge[] = "+CNMA";
// Not framed: the line that repeats the last command, so that the modem answers it at once.
inline constexpr char kRepeatLast[] = "a/";
inline constexpr char kAttention[] = "AT";
// Every message in storage, in PDU mode; one at an index; deleting it.
inline constexpr char kListAll[] = "+CMGL=4";
inline constexpr char kReadAt[] = "+CMGR=";
inline constexpr char kDeleteAt[] = "+CMGD=";

}  // namespace pelvaro
