#include "modem/ModemChannel.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "modem/AsciiText.h"
#include "modem/ModemFraming.h"
#include "modem/ModemLines.h"

namespace pelvaro {
namespace {

constexpr const char* kFinalOk = "\r\nOK\r\n";
constexpr int kReplyReads = 2;
// Far beyond any backlog a modem builds up; only one that never stops sending fills it, and then
// the newest deliveries are lost rather than all memory.
constexpr std::size_t kMostKept = 1000;

bool StartsWithAt(const std::string& command) {
    return StartsWithNoCase(command, "AT");
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
    echo_ = EchoOf(command);

    reply_.clear();
    bool answered = false;
    for (int attempt = 0; attempt < kReplyReads && !answered; ++attempt) {
        std::string chunk;
        if (!ReadDevice(chunk, kChunkSize)) continue;
        reply_ += chunk;
        answered = reply_.find(kFinalOk) != std::string::npos;
    }
    FrameReadText(reply_);
    return answered;
}

std::string ModemChannel::LastResult() const {
    ModemFraming framing(reply_, echo_, true);
    std::string result = "no answer";
    for (FramedItem item; framing.Next(item);) {
        if (item.kind == FramedKind::Line && ClassifyLine(item.header) == LineKind::FinalResult) {
            result = item.header;
        }
    }
    return result;
}

bool ModemChannel::ReadChunk(std::string& destination) {
    std::string chunk;
    const bool read = ReadDevice(chunk, kChunkSize);
    FrameReadText(chunk);
    // What is left began before this read: its rest had a read's time to come.
    if (unframed_.size() > chunk.size()) {
        CollectDeliveries(unframed_, true);
        unframed_.clear();
        deliveryBegun_ = false;
    }
    if (read) destination = std::move(chunk);
    return read;
}

bool ModemChannel::TakeDelivery(KeptDelivery& delivery) {
    if (deliveries_.empty()) return false;
    delivery = std::move(deliveries_.front());
    deliveries_.pop_front();
    return true;
}

void ModemChannel::FrameReadText(std::string_view text) {
    unframed_.append(text);
    CollectDeliveries(unframed_, false);
}

// Keeps what is found in `text`, and unless it has ended, the rest that is not framed yet.
void ModemChannel::CollectDeliveries(std::string_view text, bool ended) {
    ModemFraming framing(text, echo_, ended);
    for (FramedItem item; framing.Next(item);) {
        if (item.kind != FramedKind::Line && deliveries_.size() < kMostKept) {
            deliveries_.emplace_back(item.AsDelivery());
        }
    }
    if (ended) return;
    deliveryBegun_ = framing.DeliveryBegun();
    unframed_.erase(0, framing.Rest());
}

bool ModemChannel::ReadDevice(std::string& destination, int capacity) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity));
    const int count = port_.Read(buffer.data(), capacity);
    if (count <= 0) return false;
    destination.assign(buffer.data(), static_cast<std::size_t>(count));
    return true;
}

}  // namespace pelvaro
