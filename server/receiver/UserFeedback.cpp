#include "server/receiver/UserFeedback.h"

MessageBeepFunction PlayMessageBeep = ::MessageBeep;
MessageBoxFunction ShowMessageBox = ::MessageBoxW;
