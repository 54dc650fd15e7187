// The trace file's rollover: writers in several processes roll it over once at its limit, and a
// rollover whose rename fails still keeps the file within its bound.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "modem/TraceFileRules.h"
#include "modem/TraceWriter.h"
#include "tests/modem/ModemTesting.h"
#include "tests/support/SiblingProcess.h"
#include "win/Holders.h"

namespace pelvaro {
namespace {

std::string EmptyFolder(const std::string& name) {
    const std::string folder = test::TempFolder() + "trace-file-" + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* file : {"pelvaro.log", "pelvaro.log.1"}) DeleteFileA((folder + file).c_str());
    return folder;
}

std::string ReadFileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// modem_trace_writer, beside this program, in a process of its own.
UniqueHandle StartWriter(const std::string& arguments) {
    return test::StartSibling("modem_trace_writer.exe", arguments);
}

TEST(TraceFile, WritersInTwoProcessesRollItOverOnceAtTheLimit) {
    const std::string folder = EmptyFolder("processes"), path = folder + "pelvaro.log";
    // Room for a fifth of what the two write: the limit is crossed once, while both write.
    constexpr int kLines = 500, kLineBytes = 100;  // as modem_trace_writer writes them
    const std::string full(kTraceRolloverBytes - 2 * kLines * kLineBytes / 5, 'x');
    // Each round gives the two another chance to meet at the limit.
    for (int round = 0; round < 3; ++round) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << full;
        std::ofstream(path + kRolledOverSuffix, std::ios::binary | std::ios::trunc) << "older\r\n";

        const std::string names = " pelvaro-trace-ready pelvaro-trace-start";
        const UniqueHandle ready(CreateSemaphoreA(nullptr, 0, 2, "pelvaro-trace-ready"));
        const UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, "pelvaro-trace-start"));
        std::vector<UniqueHandle> writers;
        for (const char* tag : {"A", "B"}) {
            writers.push_back(StartWriter("\"" + path + "\" " + tag + " " + std::to_string(kLines) +
                                          " 25" + names));
            ASSERT_TRUE(writers.back());
        }
        for (int i = 0; i < 2; ++i) ASSERT_EQ(WaitForSingleObject(ready.Get(), 30000), 0u);
        SetEvent(start.Get());
        for (const UniqueHandle& writer : writers) {
            ASSERT_EQ(WaitForSingleObject(writer.Get(), 60000), WAIT_OBJECT_0);
            DWORD status = 1;
            GetExitCodeProcess(writer.Get(), &status);
            ASSERT_EQ(status, 0u);
        }

        // The full file, and only it, became .1; nothing either wrote was lost, nor came twice.
        const std::string rolled = ReadFileText(path + kRolledOverSuffix);
        const std::string fresh = ReadFileText(path);
        ASSERT_EQ(rolled.substr(0, full.size()), full) << "round " << round;
        EXPECT_LE(rolled.size(), kTraceRolloverBytes);
        EXPECT_LE(fresh.size(), kTraceRolloverBytes);
        std::map<std::string, int> next{{"A", 0}, {"B", 0}};
        for (const std::string& line : LinesOf(rolled.substr(full.size()) + fresh)) {
            const std::string tag = line.substr(0, 1);
            ASSERT_EQ(line.size(), kLineBytes - 1u) << line;
            ASSERT_EQ(std::stoi(line.substr(2, 6)), next[tag]++) << "in order, once each: " << line;
        }
        ASSERT_EQ(next, (std::map<std::string, int>{{"A", kLines}, {"B", kLines}}));
    }
}

TEST(TraceFile, AFailedRenameEmptiesTheFileRatherThanLetItGrow) {
    // What a viewer may hold without letting the file be renamed or replaced.
    for (const char* held : {"pelvaro.log.1", "pelvaro.log"}) {
        const std::string folder = EmptyFolder("held"), path = folder + "pelvaro.log";
        std::ofstream(path, std::ios::binary) << std::string(kTraceRolloverBytes - 500, 'x');
        std::ofstream(path + kRolledOverSuffix, std::ios::binary) << "older\r\n";
        UniqueFileHandle viewer(CreateFileA((folder + held).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(viewer) << held;

        std::vector<std::string> lines;
        for (int i = 0; i < 100; ++i) lines.push_back("line " + std::to_string(i) + "\r\n");
        for (std::size_t i = 0; i < lines.size(); i += 10) {
            AppendTraceLines(path,
                             std::vector<std::string>(lines.begin() + i, lines.begin() + i + 10));
        }
        viewer.Reset();

        const std::vector<std::string> kept = LinesOf(ReadFileText(path));
        ASSERT_FALSE(kept.empty()) << held;
        EXPECT_NE(kept.front().find("earlier lines dropped"), std::string::npos) << kept.front();
        EXPECT_EQ(kept.back(), "line 99\r") << held;
        EXPECT_LE(ReadFileText(path).size(), kTraceRolloverBytes) << held;
        EXPECT_EQ(ReadFileText(path + kRolledOverSuffix), "older\r\n") << held;
    }
}

}  // namespace
}  // namespace pelvaro
