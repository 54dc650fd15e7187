// COMn reaches the simulated modem after the prefix's services started anew
// (run-with-modem-sim --restart-wine): Wine's mount manager, which remakes the
// links of the ports it gives the machine's own /dev/ttyS*, must itself map the
// port to the sim.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/ModemSim.h"
#include "win/Holders.h"

namespace pelvaro {
namespace {

TEST(PortMappingTest, MappedPortReachesTheSimAfterServicesRestart) {
    test::ModemSim sim;
    sim.Reset();
    const std::string name = "\\\\.\\COM" + std::to_string(sim.Port());
    UniqueFileHandle port(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(port) << name << ": error " << GetLastError();
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 100;
    ASSERT_TRUE(SetCommTimeouts(port.Get(), &timeouts));

    DWORD count = 0;
    ASSERT_TRUE(WriteFile(port.Get(), "AT\r", 3, &count, nullptr));
    std::string reply;
    for (int tries = 0; tries < 50 && reply.find("OK") == std::string::npos; ++tries) {
        char buffer[64];
        if (ReadFile(port.Get(), buffer, sizeof buffer, &count, nullptr))
            reply.append(buffer, count);
    }
    EXPECT_NE(reply.find("\r\nOK\r\n"), std::string::npos) << reply;
    EXPECT_EQ(sim.Received(), "AT\r");
}

}  // namespace
}  // namespace pelvaro
