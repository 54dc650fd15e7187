// The DISPIDs of IReadSms and _IReadSmsEvents. Pelvaro.idl includes this file, so that the type
// library and the code that dispatches on them read the same numbers; it holds nothing but
// macros for that reason.
#ifndef PELVARO_DISPATCH_IDS_H
#define PELVARO_DISPATCH_IDS_H

// IReadSms
#define DISPID_STARTRECEIVING 1
#define DISPID_CLOSE 2

// _IReadSmsEvents
#define DISPID_TESTEVENT 1
#define DISPID_ONNEWSMS 2
// Sender, ServCenter, MsgText: the most arguments any event takes.
#define ONNEWSMS_ARGUMENT_COUNT 3

#endif
