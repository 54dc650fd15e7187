// The names CReadSms is registered under. Registration, the listener and the installer read them
// from here (packaging through CMake), so it holds nothing but macros.
#ifndef PELVARO_CLASS_NAMES_H
#define PELVARO_CLASS_NAMES_H

#define PELVARO_FRIENDLY_NAME "CReadSms Object"
#define PELVARO_PROGID "Pelvaro.ReadSms.1"
#define PELVARO_VERSION_INDEPENDENT_PROGID "Pelvaro.ReadSms"

#endif
