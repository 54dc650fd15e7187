#include "server/receiver/PortOpener.h"

#include <vector>

#include "modem/CommandPort.h"
#include "modem/PortSearch.h"

namespace pelvaro {
namespace {

class PortLink final : public ModemLink {
  public:
    explicit PortLink(std::unique_ptr<CommandPort> port) : port_(std::move(port)) {}
    CommandLayer& Layer() override { return port_->Layer(); }
    int Port() const override { return port_->Number(); }

  private:
    std::unique_ptr<CommandPort> port_;
};

}  // namespace

std::unique_ptr<ModemLink> PortOpener::Open(const std::atomic<bool>& cancelled, std::string& why) {
    std::unique_ptr<CommandPort> port;
    if (settings_.autoPort) {
        std::vector<PortProbe> tried;
        port = FindModemPort(settings_, schedule_, cancelled, tried);
        if (!port) {
            why = tried.empty() && searched_ ? "Port=auto found no modem: it has gone, and the "
                                               "ports that are no modem wait their minute"
                                             : NoModemFound(tried);
        }
        searched_ = true;
    } else {
        port = std::make_unique<CommandPort>(settings_, settings_.port);
        if (!port->Open()) {
            why = "COM" + std::to_string(settings_.port) + " could not be opened";
            port.reset();
        }
    }
    if (!port) return nullptr;
    return std::make_unique<PortLink>(std::move(port));
}

}  // namespace pelvaro
