#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modem/SerialPort.h"
#include "tests/modem/ModemTesting.h"
#include "tests/support/ModemSim.h"

namespace pelvaro {
namespace {

using test::ModemSim;
using test::Stopwatch;

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { sim_.Reset(); }

    std::unique_ptr<SerialPort> OpenPort(int sendDelay = 0) {
        auto port = std::make_unique<SerialPort>();
        const std::string settings =
            test::WriteSettingsFile("port.ini", test::SettingsFor(sim_.Port(), sendDelay));
        EXPECT_TRUE(port->ReadSettings(settings.c_str()));
        EXPECT_EQ(port->Open(), 0);
        sim_.ClearLog();
        return port;
    }

    // The sim's reads, once `count` bytes are there or a second has passed.
    std::vector<test::SimRead> AwaitReceived(std::size_t count, std::string& received) {
        std::vector<test::SimRead> log;
        for (Stopwatch watch; watch.Ms() < 1000 && received.size() < count; Sleep(20)) {
            log = sim_.Log();
            received.clear();
            for (const auto& read : log) received += read.bytes;
        }
        return log;
    }

    ModemSim sim_;
};

TEST_F(SerialPortTest, LineCarriesEveryByteValueUnchanged) {
    sim_.SetEcho(false);
    auto port = OpenPort();
    std::string all;
    for (int value = 0; value < 256; ++value) all += static_cast<char>(value);

    ASSERT_TRUE(port->Write(all.data(), static_cast<int>(all.size())));
    std::string received;
    AwaitReceived(all.size(), received);
    EXPECT_EQ(received, all);

    sim_.SendRaw(all);
    std::string read;
    char buffer[300];
    for (int attempt = 0; attempt < 3 && read.size() < all.size(); ++attempt) {
        const int count = port->Read(buffer, sizeof buffer);
        ASSERT_GE(count, 0);
        read.append(buffer, static_cast<std::size_t>(count));
    }
    EXPECT_EQ(read, all);
}

TEST_F(SerialPortTest, ReadEndsByTheTimeouts) {
    const std::string thirty(30, 'x');
    const struct {
        const char* name;
        std::function<void(ModemSim&)> script;
        int minCount, maxCount;
        double minMs, maxMs;
    } cases[] = {
        {"nothing arrives", [](ModemSim&) {}, 0, 0, 250, 600},
        // Returns about 50 ms after the last byte, long before 300 ms.
        {"a burst, then silence", [&](ModemSim& sim) { sim.SendRaw(thirty); }, 30, 30, 0, 250},
        // Gaps of 20 ms never end the read; the 300 ms total does.
        {"a steady trickle", [&](ModemSim& sim) { sim.Trickle(thirty, 20); }, 5, 25, 250, 600},
    };
    for (const auto& c : cases) {
        sim_.Reset();
        auto port = OpenPort();
        c.script(sim_);
        char buffer[2000];
        Stopwatch watch;
        const int count = port->Read(buffer, sizeof buffer);
        const double ms = watch.Ms();
        EXPECT_GE(count, c.minCount) << c.name;
        EXPECT_LE(count, c.maxCount) << c.name;
        EXPECT_GE(ms, c.minMs) << c.name;
        EXPECT_LE(ms, c.maxMs) << c.name;
    }
}

TEST_F(SerialPortTest, SendDelayPacesEachByte) {
    const std::string command = "AT+CNMA\r\n";
    const struct {
        int sendDelay;
        double minMs, maxMs;
    } cases[] = {{0, 0, 100}, {-1, 0, 100}, {2, 9 * 20 - 5, 1000}};
    for (const auto& c : cases) {
        auto port = OpenPort(c.sendDelay);
        Stopwatch watch;
        EXPECT_TRUE(port->Write(command.data(), static_cast<int>(command.size())));
        const double ms = watch.Ms();
        EXPECT_GE(ms, c.minMs) << c.sendDelay;
        EXPECT_LE(ms, c.maxMs) << c.sendDelay;

        std::string received;
        const std::vector<test::SimRead> log = AwaitReceived(command.size(), received);
        EXPECT_EQ(received, command) << c.sendDelay;
        if (c.sendDelay > 0) {
            // Bytes 20 ms apart arrive in separate reads, spread over 8 gaps.
            ASSERT_EQ(log.size(), command.size());
            EXPECT_GE((log.back().time - log.front().time) * 1000, 8 * 20 * 0.9);
        }
    }
}

TEST_F(SerialPortTest, DeviceOpensOnlyOnce) {
    auto first = OpenPort();
    SerialPort second;
    ASSERT_TRUE(second.ReadSettings());
    EXPECT_EQ(second.Open(), -1);

    first.reset();
    SerialPort third;
    ASSERT_TRUE(third.ReadSettings());
    EXPECT_EQ(third.Open(), 0);
}

}  // namespace
}  // namespace pelvaro
