#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "modem/ModemLines.h"
#include "modem/SerialPort.h"
#include "sms/Delivery.h"

namespace pelvaro {

// A command's whole reply, for commands whose answer matters beyond OK.
struct CommandReply {
    // The final result line ("OK", "+CMS ERROR: 500"); empty when none came in time.
    std::string result;
    // Information lines, such as "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)".
    std::vector<std::string> lines;
    // Messages listed or read from the modem's storage, with their "+CMGL:" or "+CMGR:" headers.
    std::vector<KeptDelivery> stored;

    bool Ok() const { return result == "OK"; }
};

// What the modem said unasked since it was last asked for.
struct Unasked {
    bool otherText = false;  // text that is neither a delivery nor a known report
    bool restart = false;    // the module announced a new start
};

// The AT command layer over one serial port: frames and sends commands, waits for "\r\nOK\r\n",
// and reads what the modem sends unasked. Everything read, by a command's wait or by ReadChunk,
// goes through the framing rule; the deliveries found in it are kept, in order, for
// TakeDelivery, and announcements of stored messages for TakeAnnouncement.
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

    // Writes the command, framed, and reads until its final result comes, the modem stays silent
    // for two reads, or `timeoutMs` have passed. True when the result is OK.
    bool Query(const std::string& command, CommandReply& reply, unsigned timeoutMs = 10000);

    // One read of at most kChunkSize bytes: true with them in `destination`, false with it
    // untouched when nothing came. A delivery whose rest was still on its way before this read,
    // and has not come with it, is then handed out as it is.
    bool ReadChunk(std::string& destination);

    // The oldest delivery read and not yet taken.
    bool TakeDelivery(KeptDelivery& delivery);
    bool HasDelivery() const { return !deliveries_.empty(); }
    // True while the start of a delivery has been read and its rest has not.
    bool AwaitsRest() const { return deliveryBegun_; }

    // The index of the oldest message announced as stored ("+CMTI:") and not yet taken.
    bool TakeAnnouncement(int& index);
    bool HasAnnouncement() const { return !announcements_.empty(); }
    Unasked TakeUnasked();

    // Reads or writes have failed several times in a row: the device is gone.
    bool Lost() const { return failuresInARow_ >= kFailuresForLost; }

  private:
    static constexpr int kFailuresForLost = 3;

    bool ReadDevice(std::string& destination, int capacity);
    bool WriteDevice(const std::string& bytes);
    void Absorb(std::string_view text);
    void Keep(std::string_view text, bool ended);
    void Note(std::string_view line);

    std::string reply_;
    SerialPort port_;
    // The line of the command last written, which the modem echoes.
    std::string echo_;
    // Read text whose last line has not ended, or a header whose PDU line has not begun.
    std::string unframed_;
    bool deliveryBegun_ = false;
    std::deque<KeptDelivery> deliveries_;
    std::deque<int> announcements_;
    Unasked unasked_;
    // While a query waits, its reply collects what answers it.
    CommandReply* query_ = nullptr;
    int failuresInARow_ = 0;
    unsigned long long lastHeardMs_ = 0;
    unsigned long long silenceBeforeMs_ = 0;
};

}  // namespace pelvaro
