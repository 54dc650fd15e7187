#include "modem/CommandPort.h"

namespace pelvaro {

CommandPort::CommandPort(const LinkSettings& settings, int port) {
    LinkSettings own = settings;
    own.port = port;
    port_.UseSettings(own);
}

}  // namespace pelvaro
