#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/TraceFileRules.h"
#include "modem/TraceLines.h"

namespace pelvaro {
namespace {

constexpr auto S = TraceDirection::Sent;
constexpr auto R = TraceDirection::Received;

// What went over the line, and when (ms); empty bytes: a read that found nothing.
struct Step {
    TraceDirection direction;
    std::string bytes;
    std::uint64_t ms;
};

// The lines due after the steps, and after the close, each as "-> text" or "<- text".
struct Written {
    std::vector<std::string> beforeClose;
    std::vector<std::string> atClose;
};

std::vector<std::string> Shown(const std::vector<TraceLine>& lines) {
    std::vector<std::string> shown;
    for (const TraceLine& line : lines) {
        shown.push_back((line.direction == S ? "-> " : "<- ") + line.text);
    }
    return shown;
}

Written Trace(const std::vector<Step>& steps) {
    TraceDialogue dialogue;
    std::vector<TraceLine> due;
    for (const Step& step : steps) {
        dialogue.Add(step.direction, step.bytes, step.ms, TraceStamp{}, due);
    }
    Written written{Shown(due), {}};
    due.clear();
    dialogue.Finish(due);
    written.atClose = Shown(due);
    return written;
}

TEST(TraceLines, SplitsEscapesAndHidesThePin) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> beforeClose;
        std::vector<std::string> atClose;
    } cases[] = {
        {"a command, its echo and OK; leading line ends stay with their line",
         {{S, "AT+CMGF=0\r\n", 0}, {R, "AT+CMGF=0\r\r\nOK\r\n", 50}},
         {"-> AT+CMGF=0\\r\\n", "<- AT+CMGF=0\\r", "<- \\r\\nOK\\r\\n"},
         {}},
        {"the PIN, sent and echoed",
         {{S, "AT+CPIN=\"1234\"\r\n", 0}, {R, "AT+CPIN=\"1234\"\r\r\nOK\r\n", 50}},
         {"-> AT+CPIN=\"****\"\\r\\n", "<- AT+CPIN=\"****\"\\r", "<- \\r\\nOK\\r\\n"},
         {}},
        {"any case, quoted or not, whatever its length, after another command",
         {{S, "at+cpin=12345678\rAT+cPiN=\"9\",\"0000\"\nATE0;+CPIN=1\r\n", 0}},
         {"-> at+cpin=\"****\"\\r", "-> AT+cPiN=\"****\"\\n", "-> ATE0;+CPIN=\"****\"\\r\\n"},
         {}},
        {"a PIN echoed in pieces, each written after a pause",
         {{R, "AT+CP", 0},
          {R, "", 100},
          {R, "IN=\"12", 110},
          {R, "", 210},
          {R, "34\"", 220},
          {R, "\r\r\nOK\r\n", 230}},
         {"<- AT+CP", "<- IN=\"****\"", "<- \\r", "<- \\r\\nOK\\r\\n"},
         {}},
        {"the PIN ends with its line; a query and the answer are shown",
         {{S, "AT+CPIN=1\r", 0}, {S, "AT+CPIN?\r\n", 10}, {R, "+CPIN: READY\r\n", 20}},
         {"-> AT+CPIN=\"****\"\\r", "-> AT+CPIN?\\r\\n", "<- +CPIN: READY\\r\\n"},
         {}},
        {"control bytes and the backslash as escapes",
         {{R, std::string("A\x1a\x00\x7f\xff\\\t>", 8), 0}},
         {},
         {"<- A\\x1A\\x00\\x7F\\xFF\\\\\\x09>"}},
        {"LF alone ends a line; CR alone does once the next byte is no LF",
         {{R, "OK\nRING\rNO CARRIER\r", 0}},
         {"<- OK\\n", "<- RING\\r"},
         {"<- NO CARRIER\\r"}},
        {"a CR LF split between reads",
         {{R, "OK\r", 0}, {R, "\nRING\r\n", 60}},
         {"<- OK\\r\\n", "<- RING\\r\\n"},
         {}},
        {"a prompt is written once 100 ms passed without a byte, not before",
         {{R, "> ", 0}, {R, "", 99}},
         {},
         {"<- > "}},
        {"the same prompt after 100 ms", {{R, "> ", 0}, {R, "", 100}}, {"<- > "}, {}},
        {"lines keep the order they began in: the echo waits for the open a/",
         {{S, "a/", 0}, {R, "a/\r\nOK\r\n", 50}, {R, "", 120}},
         {"-> a/", "<- a/\\r\\n", "<- OK\\r\\n"},
         {}},
        {"a stream without line ends is written in pieces",
         {{R, std::string(kTraceLongestPiece + 10, 'x'), 0}},
         {"<- " + std::string(kTraceLongestPiece, 'x')},
         {"<- " + std::string(10, 'x')}},
    };
    for (const auto& c : cases) {
        const Written written = Trace(c.steps);
        EXPECT_EQ(written.beforeClose, c.beforeClose) << c.name;
        EXPECT_EQ(written.atClose, c.atClose) << c.name;
    }
}

TEST(TraceLines, LineShowsTimeStampPortAndDirection) {
    const TraceLine line{{2026, 12, 9, 14, 3, 7, 5}, R, "OK\\r\\n", 0};
    const std::string text = FormatTraceLine(line, "COM3");
    EXPECT_EQ(text, "2026-12-09 14:03:07.005 COM3 <- OK\\r\\n\r\n");
    EXPECT_EQ(text.find(' ', 11), kTraceStampLength);
}

TEST(TraceFileRules, PlacesTheFileAndRollsItOver) {
    const struct {
        const char* settings;
        const char* traceFile;
        const char* expected;
    } paths[] = {
        {".\\SerComm.ini", "pelvaro.log", ".\\pelvaro.log"},
        {"C:\\Pelvaro\\SerComm.ini", "logs\\pelvaro.log", "C:\\Pelvaro\\logs\\pelvaro.log"},
        {"C:\\Pelvaro\\SerComm.ini", "D:\\trace.log", "D:\\trace.log"},
        {"C:\\Pelvaro\\SerComm.ini", "\\\\server\\share\\t.log", "\\\\server\\share\\t.log"},
        {"SerComm.ini", "pelvaro.log", "pelvaro.log"},
    };
    for (const auto& p : paths) {
        EXPECT_EQ(JoinTracePath(p.settings, p.traceFile), p.expected) << p.traceFile;
    }
    EXPECT_FALSE(NeedsRollover(kTraceRolloverBytes - 10, 10));
    EXPECT_TRUE(NeedsRollover(kTraceRolloverBytes - 10, 11));
    EXPECT_FALSE(NeedsRollover(0, kTraceRolloverBytes + 1));
    EXPECT_EQ(kTraceRolloverBytes, 1024u * 1024u);
}

}  // namespace
}  // namespace pelvaro
