// The trace file that "Trace File" names, written by a serial port talking to the simulated modem.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "modem/SerialPort.h"
#include "modem/TraceFileRules.h"
#include "tests/modem/ModemTesting.h"
#include "tests/support/ModemSim.h"

namespace pelvaro {
namespace {

using test::ModemSim;

// A folder of its own for each case: the profile functions may cache a settings file by its name.
std::string EmptyFolder(const std::string& name) {
    const std::string folder = test::TempFolder() + "trace-" + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* file : {"SerComm.ini", "pelvaro.log", "pelvaro.log.1"}) {
        DeleteFileA((folder + file).c_str());
    }
    return folder;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

std::string ReadFileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

class ModemTraceTest : public ::testing::Test {
  protected:
    void SetUp() override { sim_.Reset(); }

    // Opens the port with the settings in `folder` plus `keys`, sends each command and reads
    // until the modem's final result, then closes the port.
    void Converse(const std::string& folder, const std::string& keys,
                  const std::vector<std::string>& commands) {
        const std::string settings = folder + "SerComm.ini";
        std::ofstream(settings, std::ios::binary) << test::SettingsFor(sim_.Port()) << keys;
        SerialPort port;
        ASSERT_TRUE(port.ReadSettings(settings.c_str()));
        ASSERT_EQ(port.Open(), 0);
        sim_.ClearLog();
        std::string sent;
        for (const std::string& command : commands) {
            ASSERT_TRUE(port.Write(command.data(), static_cast<int>(command.size())));
            sent += command;
            const std::regex final("\r\n(OK|.*ERROR.*)\r\n");
            std::string read;
            char buffer[200];
            for (int i = 0; i < 10 && !std::regex_search(read, final); ++i) {
                const int count = port.Read(buffer, sizeof buffer);
                if (count > 0) read.append(buffer, static_cast<std::size_t>(count));
            }
            EXPECT_TRUE(std::regex_search(read, final)) << command << read;
        }
        // Whatever the trace does, the line carries the dialogue's bytes unchanged.
        EXPECT_EQ(sim_.Received(), sent);
    }

    // "COM18 ", as the lines name the port.
    std::string Port() const { return "COM" + std::to_string(sim_.Port()) + " "; }

    ModemSim sim_;
};

TEST_F(ModemTraceTest, TraceHoldsTheDialogueWithThePinHidden) {
    const std::string folder = EmptyFolder("dialogue");
    Converse(folder, "Trace File=pelvaro.log\r\n", {"AT+CPIN=\"1234\"\r\n", "AT\r\n", "a/"});

    const std::string trace = ReadFileText(folder + "pelvaro.log");
    EXPECT_EQ(trace.find("1234"), std::string::npos) << trace;
    const std::regex line("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}) " + Port() +
                          "(.*)\r\n");
    std::vector<std::string> texts;
    std::string previousStamp;
    for (auto it = std::sregex_iterator(trace.begin(), trace.end(), line);
         it != std::sregex_iterator(); ++it) {
        EXPECT_GE((*it)[1].str(), previousStamp) << "in the order they went over the line";
        previousStamp = (*it)[1].str();
        texts.push_back((*it)[2].str());
    }
    // A modem may refuse a PIN it did not ask for. The echo of "a/" waits for the sent "a/",
    // which no line end closes.
    const char* expected[] = {
        R"(-> AT\+CPIN="\*\*\*\*"\\r\\n)",
        R"(<- AT\+CPIN="\*\*\*\*"\\r)",
        R"(<- \\r\\n(OK|\+CME ERROR: \d+)\\r\\n)",
        R"(-> AT\\r\\n)",
        R"(<- AT\\r)",
        R"(<- \\r\\nOK\\r\\n)",
        R"(-> a/)",
        R"(<- a/\\r\\n)",
        R"(<- OK\\r\\n)",
    };
    ASSERT_EQ(texts.size(), std::size(expected)) << trace;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_TRUE(std::regex_match(texts[i], std::regex(expected[i]))) << texts[i];
    }
}

TEST_F(ModemTraceTest, FileRollsOverAtOneMegabyte) {
    const std::string folder = EmptyFolder("rollover");
    const std::string full(kTraceRolloverBytes - 8, 'x');
    std::ofstream(folder + "pelvaro.log", std::ios::binary) << full;
    std::ofstream(folder + "pelvaro.log.1", std::ios::binary) << "older\r\n";

    Converse(folder, "Trace File=pelvaro.log\r\n", {"AT\r\n"});

    EXPECT_EQ(ReadFileText(folder + "pelvaro.log.1"), full);
    const std::string fresh = ReadFileText(folder + "pelvaro.log");
    EXPECT_LT(fresh.size(), 200u);
    EXPECT_NE(fresh.find(" " + Port() + "-> AT\\r\\n\r\n"), std::string::npos) << fresh;
}

TEST_F(ModemTraceTest, OnlyANamedFileThatCanBeOpenedIsWritten) {
    const std::string absolute = test::TempFolder() + "trace-absolute.log";
    DeleteFileA(absolute.c_str());
    const struct {
        const char* name;
        std::string keys;
        std::vector<std::string> files;  // in the settings file's folder afterwards
    } cases[] = {
        {"none", "", {"SerComm.ini"}},
        {"missing", "Trace File=no-such-folder\\pelvaro.log\r\n", {"SerComm.ini"}},
        {"absolute", "Trace File=" + absolute + "\r\n", {"SerComm.ini"}},
        {"relative", "Trace File=pelvaro.log\r\n", {"SerComm.ini", "pelvaro.log"}},
    };
    for (const auto& c : cases) {
        const std::string folder = EmptyFolder(c.name);
        Converse(folder, c.keys, {"AT\r\n"});
        std::vector<std::string> files = FilesIn(folder);
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, c.files) << c.name;
    }
    EXPECT_NE(ReadFileText(absolute).find(" " + Port() + "-> AT\\r\\n"), std::string::npos);
}

}  // namespace
}  // namespace pelvaro
