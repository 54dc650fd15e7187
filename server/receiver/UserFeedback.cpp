#include "server/receiver/UserFeedback.h"

namespace pelvaro {

MessageBeepFunction PlayMessageBeep = ::MessageBeep;
MessageBoxFunction ShowMessageBox = ::MessageBoxW;

}  // namespace pelvaro
