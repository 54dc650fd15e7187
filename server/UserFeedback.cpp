#include "server/UserFeedback.h"

MessageBeepFunction PlayMessageBeep = ::MessageBeep;
MessageBoxFunction ShowMessageBox = ::MessageBoxW;
