#pragma once
// The trace's clock: local time to the millisecond, as the lines' stamps show it.

#include <windows.h>

#include "modem/TraceLines.h"

namespace pelvaro {

inline TraceStamp LocalTraceStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear,   now.wMonth,  now.wDay,         now.wHour,
            now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace pelvaro
