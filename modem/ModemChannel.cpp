#include "modem/ModemChannel.h"

#include <cctype>
#include <vector>

#include "sms/DeliverySplitter.h"

namespace pelvaro {
namespace {

constexpr const char* kFinalOk = "\r\nOK\r\n";
constexpr int kReplyReads = 2;

bool StartsWithAt(const std::string& command) {
    return command.size() >= 2 && std::toupper(static_cast<unsigned char>(command[0])) == 'A' &&
           std::toupper(static_cast<unsigned char>(command[1])) == 'T';
}

bool EndsWithLineEnd(const std::string& command) {
    return command.size() >= 2 && command.compare(command.size() - 2, 2, "\r\n") == 0;
}

std::string Frame(std::string command) {
    if (!StartsWithAt(command)) command.insert(0, "AT");
    if (!EndsWithLineEnd(command)) command += "\r\n";
    return command;
}

// What the modem echoes back as the command's own line.
std::string EchoOf(const std::string& written) {
    return written.substr(0, written.find_first_of("\r\n"));
}

// A whole delivery gets CR LF line ends, which the receiver's conversion needs; a cut-off one stays
// as it came, so that its rest can be joined to it.
std::string KeptText(const std::string& received, const Delivery& delivery) {
    std::string text = delivery.header.empty() ? "" : "\r\n";
    if (delivery.cutOff) return text.append(received, delivery.begin, std::string::npos);
    if (!delivery.header.empty()) text.append(delivery.header).append("\r\n");
    return text.append(delivery.pdu).append("\r\n");
}

}  // namespace

ModemChannel::ModemChannel() = default;
ModemChannel::~ModemChannel() = default;

bool ModemChannel::Open() {
    port_.ReadSettings();
    return port_.Open() >= 0;
}

bool ModemChannel::SendCommand(std::string command, bool framed) {
    if (framed) command = Frame(std::move(command));
    if (!port_.Write(command.data(), static_cast<int>(command.size()))) return false;

    reply_.clear();
    bool answered = false;
    for (int attempt = 0; attempt < kReplyReads && !answered; ++attempt) {
        std::string chunk;
        if (!ReadDevice(chunk, kChunkSize)) continue;
        reply_ += chunk;
        answered = reply_.find(kFinalOk) != std::string::npos;
    }
    KeepDeliveries(EchoOf(command));
    return answered;
}

void ModemChannel::KeepDeliveries(const std::string& echo) {
    // A delivery cut off by an earlier wait continues in this reply.
    std::string received;
    if (!kept_.empty() && kept_.back().cutOff) {
        received = std::move(kept_.back().text);
        kept_.pop_back();
    }
    received += reply_;
    for (const Delivery& delivery : SplitDeliveries(received)) {
        const bool ownEcho = delivery.header.empty() && delivery.pdu == echo;
        if (!ownEcho) kept_.push_back({KeptText(received, delivery), delivery.cutOff});
    }
}

bool ModemChannel::ReadChunk(std::string& destination) {
    if (kept_.empty()) return ReadDevice(destination, kChunkSize);

    Kept next = std::move(kept_.front());
    kept_.pop_front();
    if (next.cutOff) {
        std::string rest;
        const int room = kChunkSize - static_cast<int>(next.text.size());
        if (room > 0 && ReadDevice(rest, room)) next.text += rest;
    }
    destination = std::move(next.text);
    return true;
}

bool ModemChannel::ReadDevice(std::string& destination, int capacity) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity));
    const int count = port_.Read(buffer.data(), capacity);
    if (count <= 0) return false;
    destination.assign(buffer.data(), static_cast<std::size_t>(count));
    return true;
}

}  // namespace pelvaro
