#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/SerialPort.h"
#include "tests/modem/ModemTesting.h"

namespace pelvaro {
namespace {

using test::WriteSettingsFile;

// Runs first: every later test sets the process-wide path.
TEST(SettingsPath, DefaultsToSerCommIniInTheWorkingFolder) {
    ASSERT_EQ(SerialPort::SettingsPath(), ".\\SerComm.ini");
    const std::string file =
        WriteSettingsFile("SerComm.ini", "[SerComm Options]\nPort=7\nSend Delay=3\n");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(file.substr(0, file.rfind('\\')).c_str()));

    SerialPort port;
    EXPECT_TRUE(port.ReadSettings());
    EXPECT_EQ(port.PortNumber(), 7);
    EXPECT_EQ(port.SendDelay(), 3);
    SetCurrentDirectoryA(previous);
}

TEST(ReadSettings, TakesValuesFromTheFileOrDefaults) {
    struct Case {
        const char* name;
        const char* contents;  // nullptr: no file
        int port;
        int sendDelay;
    };
    const std::vector<Case> cases = {
        {"no file", nullptr, 4, 0},
        {"other section", "[Other]\nPort=7\nSend Delay=3\n", 4, 0},
        {"no keys", "[SerComm Options]\nBaud=9600\n", 4, 0},
        {"port only", "[SerComm Options]\nPort=1\n", 1, 0},
        {"both keys, any letter case", "[sercomm OPTIONS]\nPORT=12\nsend delay=2\n", 12, 2},
        {"negative delay", "[SerComm Options]\nPort=3\nSend Delay=-2\n", 3, -2},
        {"blanks and trailing letters", "[SerComm Options]\nPort= 7 \nSend Delay=5ms\n", 7, 5},
        {"no digits", "[SerComm Options]\nPort=COM5\nSend Delay=x\n", 0, 0},
    };
    for (const Case& c : cases) {
        const std::string name =
            std::string("settings-") + std::to_string(&c - cases.data()) + ".ini";
        std::string path = WriteSettingsFile(name, c.contents ? c.contents : "");
        if (!c.contents) DeleteFileA(path.c_str());

        SerialPort port;
        EXPECT_TRUE(port.ReadSettings(path.c_str())) << c.name;
        EXPECT_EQ(port.PortNumber(), c.port) << c.name;
        EXPECT_EQ(port.SendDelay(), c.sendDelay) << c.name;
    }
}

TEST(ReadSettings, PathLengthIsChecked) {
    const std::string kept = WriteSettingsFile("kept.ini", "[SerComm Options]\nPort=6\n");
    SerialPort port;
    ASSERT_TRUE(port.ReadSettings(kept.c_str()));

    for (std::size_t length : {2u, 260u}) {
        const std::string refused(length, 'x');
        EXPECT_FALSE(port.ReadSettings(refused.c_str())) << length;
        EXPECT_EQ(SerialPort::SettingsPath(), kept) << length;
        EXPECT_EQ(port.PortNumber(), 6) << length;
    }

    // Accepted paths stay in force for later reads without a path, on any port.
    const std::string shortest = "a.i";
    const std::string folder = test::TempFolder();
    const std::string longest = WriteSettingsFile(
        std::string(259 - folder.size() - 4, 'L') + ".ini", "[SerComm Options]\nPort=9\n");
    ASSERT_EQ(longest.size(), 259u);
    for (const std::string& path : {shortest, longest}) {
        EXPECT_TRUE(port.ReadSettings(path.c_str())) << path.size();
        SerialPort other;
        EXPECT_TRUE(other.ReadSettings());
        EXPECT_EQ(SerialPort::SettingsPath(), path);
        EXPECT_EQ(other.PortNumber(), path == longest ? 9 : 4) << path.size();
    }
}

TEST(SerialPortOpen, AbsentDeviceGivesMinusOne) {
    // Nothing is linked as COM11 in the test prefix.
    SerialPort port;
    ASSERT_TRUE(
        port.ReadSettings(WriteSettingsFile("absent.ini", "[SerComm Options]\nPort=11\n").c_str()));
    EXPECT_EQ(port.Open(), -1);
    EXPECT_EQ(port.Read(nullptr, 0), -1);
}

}  // namespace
}  // namespace pelvaro
