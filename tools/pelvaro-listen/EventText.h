#pragma once
// What pelvaro-listen prints for each event, as Windows text with CR LF line ends.

#include <windows.h>

#include <string>
#include <string_view>

namespace pelvaro::listen {

// "2024-05-01 12:34:56.789"
std::wstring FormatTimestamp(const SYSTEMTIME& time);

// The time stamp and event name on one line, then the summary's lines indented.
std::wstring FormatNewSms(const SYSTEMTIME& time, const std::wstring& msgText);

std::wstring FormatTestEvent(const SYSTEMTIME& time);

// A line of the trace file, its time stamp set apart as the events' are.
std::wstring FormatTracedLine(std::string_view line);

}  // namespace pelvaro::listen
