#include <gtest/gtest.h>

#include <string>

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
    const struct {
        const char* name;
        const char* contents;  // nullptr: no file
        int port;
        int sendDelay;
    } cases[] = {
        {"no file", nullptr, 4, 0},
        {"other section", "[Other]\nPort=7\nSend Delay=3\n", 4, 0},
        {"no keys", "[SerComm Options]\nBaud=9600\n", 4, 0},
        {"no digits", "[SerComm Options]\nPort=COM5\nSend Delay=x\n", 0, 0},
        {"both keys", "[SerComm Options]\nPort=12\nSend Delay=2\n", 12, 2},
    };
    for (const auto& c : cases) {
        const std::string path =
            WriteSettingsFile(std::string(c.name) + ".ini", c.contents ? c.contents : "");
        if (!c.contents) DeleteFileA(path.c_str());

        SerialPort port;
        EXPECT_TRUE(port.ReadSettings(path.c_str())) << c.name;
        EXPECT_EQ(port.PortNumber(), c.port) << c.name;
        EXPECT_EQ(port.SendDelay(), c.sendDelay) << c.name;
    }
}

TEST(ReadSettings, SwitchesAreOnOnlyForExactlyOne) {
    const struct {
        const char* value;
        bool on;
    } cases[] = {{"1", true},   {" 1 ", true},  {"0", false}, {"01", false},
                 {"1x", false}, {"yes", false}, {"", false},  {"2", false}};
    for (const auto& c : cases) {
        const std::string path = WriteSettingsFile(
            "switches.ini", std::string("[SerComm Options]\nFull Decoding=") + c.value +
                                "\nFull Modem Support=" + c.value + "\n");
        SerialPort port;
        ASSERT_TRUE(port.ReadSettings(path.c_str()));
        EXPECT_EQ(port.Settings().fullDecoding, c.on) << c.value;
        EXPECT_EQ(port.Settings().fullModemSupport, c.on) << c.value;
    }
    SerialPort absent;
    ASSERT_TRUE(absent.ReadSettings(WriteSettingsFile("no-switches.ini", "").c_str()));
    EXPECT_FALSE(absent.Settings().fullDecoding || absent.Settings().fullModemSupport);
}

TEST(ReadSettings, AnInitLineIsReadWholeOrNotAtAll) {
    for (const unsigned length : {kLongestText, kLongestText + 1, 3 * kLongestText}) {
        const std::string line = "AT" + std::string(length - 2, 'Z');
        const std::string path =
            WriteSettingsFile("init.ini", "[SerComm Options]\nInit=" + line + "\n");
        const LinkSettings settings = ReadLinkSettings(path);
        EXPECT_EQ(settings.initTooLong, length > kLongestText) << length;
        EXPECT_EQ(settings.init == line, length <= kLongestText + 1) << length;
    }
}

TEST(ReadSettings, PathLengthIsChecked) {
    const std::string kept = WriteSettingsFile("kept.ini", "[SerComm Options]\nPort=6\n");
    const std::string folder = test::TempFolder();
    const std::string longest = WriteSettingsFile(
        std::string(259 - folder.size() - 4, 'L') + ".ini", "[SerComm Options]\nPort=9\n");
    ASSERT_EQ(longest.size(), 259u);
    const struct {
        std::string path;
        bool accepted;
        int port;  // read later without a path, on another port
    } cases[] = {
        {kept, true, 6},  {"xx", false, 6},   {std::string(260, 'x'), false, 6},
        {"a.i", true, 4}, {longest, true, 9},
    };
    std::string inForce;
    for (const auto& c : cases) {
        SerialPort port;
        EXPECT_EQ(port.ReadSettings(c.path.c_str()), c.accepted) << c.path.size();
        if (c.accepted) inForce = c.path;
        SerialPort other;
        EXPECT_TRUE(other.ReadSettings()) << c.path.size();
        EXPECT_EQ(SerialPort::SettingsPath(), inForce) << c.path.size();
        EXPECT_EQ(other.PortNumber(), c.port) << c.path.size();
    }
}

TEST(SerialPortOpen, AbsentDeviceGivesMinusOne) {
    // Nothing is linked as COM11 in the test prefix.
    SerialPort port;
    ASSERT_TRUE(port.ReadSettings(WriteSettingsFile("absent.ini", test::SettingsFor(11)).c_str()));
    EXPECT_EQ(port.Open(), -1);
    EXPECT_EQ(port.Read(nullptr, 0), -1);
}

}  // namespace
}  // namespace pelvaro
