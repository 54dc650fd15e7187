#pragma once
// The link to the modem on a COM port: the one SerComm.ini names, or with "Port=auto" the one a
// search finds, whose schedule lives as long as the reception, so that the modem's port is tried
// first and the other ports are left alone while it is gone.

#include "dialogue/ModemLink.h"
#include "modem/ProbeSchedule.h"
#include "modem/Settings.h"

namespace pelvaro {

class PortOpener final : public LinkOpener {
  public:
    explicit PortOpener(const LinkSettings& settings) : settings_(settings) {}

    std::unique_ptr<ModemLink> Open(const std::atomic<bool>& cancelled, std::string& why) override;

  private:
    const LinkSettings settings_;
    ProbeSchedule schedule_;
    bool searched_ = false;
};

}  // namespace pelvaro
