#pragma once
// The commands Pelvaro gives the modem; the channel and the command layer put "AT" in front.

namespace pelvaro {

inline constexpr char kPduMode[] = "+CMGF=0";
inline constexpr char kPhase2Plus[] = "+CSMS=1";
inline constexpr char kPhase2[] = "+CSMS=0";
inline constexpr char kDirectRouting[] = "+CNMI=1,2";
inline constexpr char kRoutingOffers[] = "+CNMI=?";
inline constexpr char kRoutingState[] = "+CNMI?";
inline constexpr char kStorageOffers[] = "+CPMS=?";
inline constexpr char kStorageState[] = "+CPMS?";
inline constexpr char kSelectStorage[] = "+CPMS=";
inline constexpr char kServiceOffers[] = "+CSMS=?";
inline constexpr char kAcknowledge[] = "+CNMA";
inline constexpr char kSimState[] = "+CPIN?";
inline constexpr char kEnterPin[] = "+CPIN=";
inline constexpr char kMaker[] = "+CGMI";
inline constexpr char kEchoOn[] = "E1";
inline constexpr char kModel[] = "+CGMM";
// Not framed: the line that repeats the last command, so that the modem answers it at once.
inline constexpr char kRepeatLast[] = "a/";
// Every message in storage, in PDU mode; one at an index; deleting it.
inline constexpr char kListAll[] = "+CMGL=4";
inline constexpr char kReadAt[] = "+CMGR=";
inline constexpr char kDeleteAt[] = "+CMGD=";
// What a modem answers a read or a deletion at an index that holds nothing.
inline constexpr char kNothingAtIndex[] = "+CMS ERROR: 321";

// The set-up of the fixed dialogue, in order. A modem left in text mode delivers no PDU, but one
// that lacks the command goes on as before: the answer to that one is not looked at.
struct FixedSetUpStep {
    const char* command;
    bool mustSucceed;
};
inline constexpr FixedSetUpStep kFixedSetUp[] = {
    {kPduMode, false},
    {kPhase2Plus, true},
    {kDirectRouting, true},
};

}  // namespace pelvaro
