#pragma once

#include <string>
#include <vector>

#include "win/Holders.h"

namespace pelvaro::test {

// One read the simulated modem made from the line, with its time in seconds
// since the sim started.
struct SimRead {
    double time;
    std::string bytes;
};

// Where a delivery goes relative to the reply to the next command.
enum class DuringReply { Before, Inside, After };

// Client for the control channel of the modem-sim that run-with-modem-sim
// started for this test. Every call waits for the sim's answer; a refused order
// or a lost channel throws std::runtime_error (a test failure).
class ModemSim {
  public:
    // Connects to the sim named by PELVARO_SIM_CONTROL and PELVARO_SIM_PORT.
    ModemSim();
    // Connects to the control directory `unixDirectory` (a Linux path).
    ModemSim(const std::string& unixDirectory, int port);
    // Connects to the sim that run-with-modem-sim --extra-port started as COM`port`, as
    // PELVARO_SIM_EXTRA names it; throws where there is none.
    static ModemSim Extra(int port);

    int Port() const { return port_; }

    // Sends one order line and returns what follows "ok" in the answer.
    std::string Order(const std::string& order);

    void Reset();
    void SetEcho(bool on);
    void SetHold(bool on);

    // Queues a delivery; both return the PDU as the sim sends it.
    std::string DeliverPdu(const std::string& pduHex);
    std::string DeliverText(const std::string& sender, const std::string& text);

    // The next queued delivery goes out with the reply to the next command.
    void DeliverDuringReply(DuringReply where, int pauseMs = 0);
    // The next `count` queued deliveries go out in one write.
    void DeliverTogether(int count = 2);
    // Deliveries in text mode (as after AT+CMGF=1) or in PDU mode.
    void SetTextMode(bool on);
    // What ends the lines of deliveries: "crlf", "cr" or "lf".
    void SetLineEnd(const std::string& lineEnd);

    void AnswerError(int commands = 1);
    void StaySilent(int commands = 1);
    void SplitReply(int offset, int pauseMs);
    void SplitDelivery(int offset, int pauseMs);
    void SendRaw(const std::string& bytes);
    // Writes the bytes one at a time, `gapMs` apart.
    void Trickle(const std::string& bytes, int gapMs);

    void GoAway();
    void ComeBack();

    std::vector<SimRead> Log();
    // Everything the sim has received since the last ClearLog, in one string.
    std::string Received();
    void ClearLog();

  private:
    UniqueFileHandle request_;
    UniqueFileHandle reply_;
    int port_ = 0;
};

}  // namespace pelvaro::test
