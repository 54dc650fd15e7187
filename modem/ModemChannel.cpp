#include "modem/ModemChannel.h"

#include <windows.h>

#include <cctype>
#include <utility>
#include <vector>

#include "modem/ModemFraming.h"

namespace pelvaro {
namespace {

constexpr const char* kFinalOk = "\r\nOK\r\n";
constexpr int kReplyReads = 2;
// Far beyond any backlog a modem builds up; only one that never stops sending fills it, and then
// the newest deliveries are lost rather than all memory.
constexpr std::size_t kMostKept = 1000;
// Huawei sticks report every few seconds; a ^BOOT after this much silence is a new start.
constexpr unsigned long long kSilenceBeforeRestartMs = 5000;

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

}  // namespace

ModemChannel::ModemChannel() = default;
ModemChannel::~ModemChannel() = default;

bool ModemChannel::Open() {
    port_.ReadSettings();
    if (port_.Open() < 0) return false;
    lastHeardMs_ = GetTickCount64();
    return true;
}

bool ModemChannel::SendCommand(std::string command, bool framed) {
    if (framed) command = Frame(std::move(command));
    if (!WriteDevice(command)) return false;
    echo_ = EchoOf(command);

    reply_.clear();
    bool answered = false;
    for (int attempt = 0; attempt < kReplyReads && !answered; ++attempt) {
        std::string chunk;
        if (!ReadDevice(chunk, kChunkSize)) continue;
        reply_ += chunk;
        answered = reply_.find(kFinalOk) != std::string::npos;
    }
    Absorb(reply_);
    return answered;
}

bool ModemChannel::Query(const std::string& command, CommandReply& reply, unsigned timeoutMs) {
    reply = {};
    const std::string line = Frame(command);
    if (!WriteDevice(line)) return false;
    echo_ = EchoOf(line);

    query_ = &reply;
    const unsigned long long deadline = GetTickCount64() + timeoutMs;
    int silentReads = 0;
    while (reply.result.empty() && silentReads < kReplyReads && GetTickCount64() < deadline) {
        std::string chunk;
        if (ReadDevice(chunk, kChunkSize)) {
            silentReads = 0;
            Absorb(chunk);
        } else {
            ++silentReads;
        }
    }
    query_ = nullptr;
    return reply.Ok();
}

bool ModemChannel::ReadChunk(std::string& destination) {
    std::string chunk;
    const bool read = ReadDevice(chunk, kChunkSize);
    Absorb(chunk);
    // What is left began before this read: its rest had a read's time to come.
    if (unframed_.size() > chunk.size()) {
        Keep(unframed_, true);
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

bool ModemChannel::TakeAnnouncement(int& index) {
    if (announcements_.empty()) return false;
    index = announcements_.front();
    announcements_.pop_front();
    return true;
}

Unasked ModemChannel::TakeUnasked() {
    return std::exchange(unasked_, Unasked{});
}

void ModemChannel::Absorb(std::string_view text) {
    unframed_.append(text);
    Keep(unframed_, false);
}

// Keeps what is found in `text`, and unless it has ended, the rest that is not framed yet.
void ModemChannel::Keep(std::string_view text, bool ended) {
    ModemFraming framing(text, echo_, ended);
    for (FramedItem item; framing.Next(item);) {
        if (item.kind == FramedKind::Line) {
            Note(item.header);
        } else if (item.kind == FramedKind::StoredMessage && query_) {
            query_->stored.emplace_back(item.AsDelivery());
        } else if (deliveries_.size() < kMostKept) {
            deliveries_.emplace_back(item.AsDelivery());
        }
    }
    if (ended) return;
    deliveryBegun_ = framing.DeliveryBegun();
    unframed_.erase(0, framing.Rest());
}

void ModemChannel::Note(std::string_view line) {
    if (line == echo_) return;
    StoredIndex stored;
    switch (ClassifyLine(line)) {
        case LineKind::FinalResult:
            if (query_ && query_->result.empty()) query_->result = line;
            return;
        case LineKind::Announcement:
            if (ParseAnnouncement(line, stored) && announcements_.size() < kMostKept) {
                announcements_.push_back(stored.index);
            }
            return;
        case LineKind::Restart:
            unasked_.restart = true;
            return;
        case LineKind::RestartAfterSilence:
            if (silenceBeforeMs_ >= kSilenceBeforeRestartMs) unasked_.restart = true;
            return;
        case LineKind::Report:
            return;
        case LineKind::Other:
            if (query_) {
                query_->lines.emplace_back(line);
            } else {
                unasked_.otherText = true;
            }
            return;
    }
}

bool ModemChannel::ReadDevice(std::string& destination, int capacity) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity));
    const int count = port_.Read(buffer.data(), capacity);
    failuresInARow_ = count < 0 || !port_.DevicePresent() ? failuresInARow_ + 1 : 0;
    if (count <= 0) return false;
    const unsigned long long now = GetTickCount64();
    silenceBeforeMs_ = now - lastHeardMs_;
    lastHeardMs_ = now;
    destination.assign(buffer.data(), static_cast<std::size_t>(count));
    return true;
}

bool ModemChannel::WriteDevice(const std::string& bytes) {
    const bool written = port_.Write(bytes.data(), static_cast<int>(bytes.size()));
    failuresInARow_ = written ? 0 : failuresInARow_ + 1;
    return written;
}

}  // namespace pelvaro
