#pragma once
// A serial port as the command layer's wire.

#include "modem/CommandLayer.h"
#include "modem/SerialPort.h"

namespace pelvaro {

class SerialWire final : public ModemWire {
  public:
    explicit SerialWire(SerialPort& port) : port_(port) {}

    bool Send(std::string_view bytes) override {
        return port_.Write(bytes.data(), static_cast<int>(bytes.size()));
    }

    bool Receive(std::string& bytes) override {
        char buffer[2000];
        const int count = port_.Read(buffer, static_cast<int>(sizeof buffer));
        if (count > 0) bytes.append(buffer, static_cast<std::size_t>(count));
        // A device that is gone answers reads as if the line were quiet, but fails to clear
        // its error state.
        return count >= 0 && port_.DevicePresent();
    }

  private:
    SerialPort& port_;
};

}  // namespace pelvaro
