#include "tools/pelvaro-listen/EventText.h"

#include <cwchar>

#include "modem/TraceLines.h"

namespace pelvaro::listen {

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";
constexpr wchar_t kIndent[] = L"    ";
constexpr wchar_t kReplacement = L'\uFFFD';

// A message's text comes from a stranger's phone: control characters other than
// the line breaks would act on the terminal, so they are shown as U+FFFD.
bool IsUnsafeControl(wchar_t c) {
    return (c < L' ' && c != L'\t') || c == 0x7F;
}

}  // namespace

std::wstring FormatTimestamp(const SYSTEMTIME& time) {
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04u-%02u-%02u %02u:%02u:%02u.%03u",
                  time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds);
    return text;
}

std::wstring FormatNewSms(const SYSTEMTIME& time, const std::wstring& msgText) {
    std::wstring out = FormatTimestamp(time) + L"  OnNewSms" + kLineEnd + kIndent;
    for (std::size_t i = 0; i < msgText.size(); ++i) {
        const wchar_t c = msgText[i];
        if (c == L'\r' || c == L'\n') {
            // CR LF, a lone CR and a lone LF each end one line.
            if (c == L'\r' && i + 1 < msgText.size() && msgText[i + 1] == L'\n') ++i;
            out += kLineEnd;
            out += kIndent;
        } else {
            out += IsUnsafeControl(c) ? kReplacement : c;
        }
    }
    return out + kLineEnd;
}

std::wstring FormatTestEvent(const SYSTEMTIME& time) {
    return FormatTimestamp(time) + L"  TestEvent: the modem did not answer the keep-alive" +
           kLineEnd;
}

std::wstring FormatTracedLine(std::string_view line) {
    std::wstring out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i == kTraceStampLength && line[i] == ' ') out += L' ';
        // The trace holds printable ASCII only; anything else is not Pelvaro's and could act on
        // the terminal.
        const auto byte = static_cast<unsigned char>(line[i]);
        out += byte >= 0x20 && byte < 0x7F ? static_cast<wchar_t>(byte) : kReplacement;
    }
    return out + kLineEnd;
}

}  // namespace pelvaro::listen
