#include "tests/support/ModemSim.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "tests/support/WinePath.h"

namespace pelvaro::test {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        throw std::runtime_error(std::string(name) +
                                 " is not set: run the test through run-with-modem-sim");
    }
    return value;
}

HANDLE OpenFifo(const std::string& path, DWORD access) {
    HANDLE fifo = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (fifo == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    return fifo;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

const char* PlaceName(DuringReply where) {
    switch (where) {
        case DuringReply::Before:
            return "before";
        case DuringReply::Inside:
            return "inside";
        case DuringReply::After:
            break;
    }
    return "after";
}

}  // namespace

ModemSim::ModemSim()
    : ModemSim(Environment("PELVARO_SIM_CONTROL"),
               std::atoi(Environment("PELVARO_SIM_PORT").c_str())) {}

ModemSim::ModemSim(const std::string& unixDirectory, int port)
    : request_(OpenFifo(WinePath(unixDirectory + "/request"), GENERIC_WRITE)),
      reply_(OpenFifo(WinePath(unixDirectory + "/reply"), GENERIC_READ)),
      port_(port) {}

ModemSim ModemSim::Extra(int port) {
    // Entries "N:KIND:CONTROLDIR", apart by spaces.
    std::istringstream entries(Environment("PELVARO_SIM_EXTRA"));
    const std::string head = std::to_string(port) + ":";
    std::string entry;
    while (entries >> entry) {
        const std::size_t colon = entry.find(':', head.size());
        if (entry.rfind(head, 0) == 0 && colon != std::string::npos) {
            return ModemSim(entry.substr(colon + 1), port);
        }
    }
    throw std::runtime_error("no simulated COM" + std::to_string(port) +
                             ": run the test with run-with-modem-sim --extra-port " +
                             std::to_string(port) + ":KIND");
}

std::string ModemSim::Order(const std::string& order) {
    const std::string line = order + "\n";
    DWORD count = 0;
    if (!WriteFile(request_.Get(), line.data(), static_cast<DWORD>(line.size()), &count, nullptr) ||
        count != line.size()) {
        throw std::runtime_error("modem-sim control channel: cannot send " + order);
    }
    // One answer line per order, so nothing after the line end is pending.
    std::string answer;
    char buffer[4096];
    while (answer.empty() || answer.back() != '\n') {
        if (!ReadFile(reply_.Get(), buffer, sizeof buffer, &count, nullptr) || count == 0) {
            throw std::runtime_error("modem-sim control channel: no answer to " + order);
        }
        answer.append(buffer, count);
    }
    answer.pop_back();
    if (answer.rfind("ok", 0) != 0) {
        throw std::runtime_error("modem-sim refused \"" + order + "\": " + answer);
    }
    return answer.size() > 3 ? answer.substr(3) : std::string();
}

void ModemSim::Reset() {
    Order("reset");
}
void ModemSim::SetEcho(bool on) {
    Order(on ? "echo on" : "echo off");
}

void ModemSim::SetHold(bool on) {
    Order(on ? "hold on" : "hold off");
}

std::string ModemSim::DeliverPdu(const std::string& pduHex) {
    return Order("deliver pdu " + pduHex);
}

std::string ModemSim::DeliverText(const std::string& sender, const std::string& text) {
    return Order("deliver text " + sender + " " + text);
}

void ModemSim::DeliverDuringReply(DuringReply where, int pauseMs) {
    Order(std::string("deliver-during ") + PlaceName(where) + " " + std::to_string(pauseMs));
}

void ModemSim::DeliverTogether(int count) {
    Order("together " + std::to_string(count));
}
void ModemSim::SetTextMode(bool on) {
    Order(on ? "mode text" : "mode pdu");
}
void ModemSim::SetLineEnd(const std::string& lineEnd) {
    Order("line-end " + lineEnd);
}
void ModemSim::AnswerError(int commands) {
    Order("error " + std::to_string(commands));
}
void ModemSim::StaySilent(int commands) {
    Order("silent " + std::to_string(commands));
}

void ModemSim::SplitReply(int offset, int pauseMs) {
    Order("split-reply " + std::to_string(offset) + " " + std::to_string(pauseMs));
}

void ModemSim::SplitDelivery(int offset, int pauseMs) {
    Order("split-delivery " + std::to_string(offset) + " " + std::to_string(pauseMs));
}

void ModemSim::SendRaw(const std::string& bytes) {
    Order("send " + Hex(bytes));
}
void ModemSim::Trickle(const std::string& bytes, int gapMs) {
    Order("trickle " + Hex(bytes) + " " + std::to_string(gapMs));
}

void ModemSim::GoAway() {
    Order("go-away");
}
void ModemSim::ComeBack() {
    Order("come-back");
}
void ModemSim::ClearLog() {
    Order("clear-log");
}

std::vector<SimRead> ModemSim::Log() {
    std::vector<SimRead> reads;
    std::istringstream entries(Order("log"));
    std::string entry;
    while (entries >> entry) {
        const std::size_t colon = entry.find(':');
        reads.push_back({std::stod(entry.substr(0, colon)), FromHex(entry.substr(colon + 1))});
    }
    return reads;
}

std::string ModemSim::Received() {
    std::string all;
    for (const SimRead& read : Log()) all += read.bytes;
    return all;
}

}  // namespace pelvaro::test
