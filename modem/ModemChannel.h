#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "modem/SerialPort.h"
#include "modem/SerialWire.h"
#include "sms/Delivery.h"

namespace pelvaro {

// The fixed dialogue's AT command channel over one serial port: frames and sends commands, waits
// for "\r\nOK\r\n", and reads what the modem sends unasked. Everything read, by a command's wait
// or by ReadChunk, goes through the framing rule; the deliveries found in it are kept, in order,
// for TakeDelivery.
class ModemChannel {
  public:
    static constexpr int kChunkSize = 2000;

    ModemChannel();
    virtual ~ModemChannel();
    ModemChannel(const ModemChannel&) = delete;
    ModemChannel& operator=(const ModemChannel&) = delete;

    // Reads the settings and opens the port; nothing is sent to the modem.
    bool Open();
    const LinkSettings& Settings() const { return port_.Settings(); }

    // Writes the command ("AT" in front and CR LF behind unless already there, when framed) and
    // gives true when "\r\nOK\r\n" arrives within two reads.
    bool SendCommand(std::string command, bool framed);
    // The final result code that answered the command last sent ("ERROR"), or "no answer".
    std::string LastResult() const;

    // One read of at most kChunkSize bytes: true with them in `destination`, false with it
    // untouched when nothing came. A delivery whose rest was still on its way before this read,
    // and has not come with it, is then handed out as it is.
    bool ReadChunk(std::string& destination);

    // The port as the command layer's wire, where the fixed dialogue needs more than OK: to
    // unlock the SIM.
    ModemWire& Wire() { return wire_; }

    // The oldest delivery read and not yet taken.
    bool TakeDelivery(KeptDelivery& delivery);
    bool HasDelivery() const { return !deliveries_.empty(); }
    // True while the start of a delivery has been read and its rest has not.
    bool AwaitsRest() const { return deliveryBegun_; }

  private:
    bool ReadDevice(std::string& destination, int capacity);
    void FrameReadText(std::string_view text);
    void CollectDeliveries(std::string_view text, bool ended);

    std::string reply_;
    SerialPort port_;
    SerialWire wire_{port_};
    // The line of the command last written, which the modem echoes.
    std::string echo_;
    // Read text whose last line has not ended, or a header whose PDU line has not begun.
    std::string unframed_;
    bool deliveryBegun_ = false;
    std::deque<KeptDelivery> deliveries_;
};

}  // namespace pelvaro
