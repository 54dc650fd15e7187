#pragma once

#include <deque>
#include <string>

#include "modem/SerialPort.h"

namespace pelvaro {

// The AT command layer over one serial port: frames and sends commands, waits
// for "\r\nOK\r\n", and hands out raw chunks of what the modem sent.
class ModemChannel {
  public:
    static constexpr int kChunkSize = 2000;

    ModemChannel();
    virtual ~ModemChannel();
    ModemChannel(const ModemChannel&) = delete;
    ModemChannel& operator=(const ModemChannel&) = delete;

    // Reads the settings and opens the port; nothing is sent to the modem.
    bool Open();

    // Writes the command ("AT" in front and CR LF behind unless already there,
    // when framed) and gives true when "\r\nOK\r\n" arrives within two reads.
    // Message deliveries read during the wait are kept for ReadChunk.
    bool SendCommand(std::string command, bool framed);

    // True with at most kChunkSize bytes in `destination`: first any delivery
    // kept from a command's wait, else one read of the device. False, with
    // `destination` untouched, when nothing came.
    bool ReadChunk(std::string& destination);

  private:
    bool ReadDevice(std::string& destination, int capacity);
    void KeepDeliveries(const std::string& echo);

    // Delivery text read during a command's wait, shaped as the modem sends a delivery.
    struct Kept {
        std::string text;
        bool cutOff;
    };

    std::string reply_;
    SerialPort port_;
    std::deque<Kept> kept_;
};

}  // namespace pelvaro
