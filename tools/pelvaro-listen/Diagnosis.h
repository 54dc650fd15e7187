#pragma once
// Turns a failed step into the one line a user can act on, and the exit status.

#include <windows.h>

#include <string>

#include "modem/SerialPort.h"

namespace pelvaro::listen {

enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitNotCreatable = 3,
    kExitNotReceiving = 4,
};

struct Failure {
    int exitStatus;
    std::wstring line;  // without the program name and line end
};

// What the object reads from .\SerComm.ini to choose its port, and its switches.
struct PortSetting {
    int port = kDefaultPort;
    bool fileFound = false;
    bool keyFound = false;
    std::wstring file;  // full path of .\SerComm.ini
    LinkSettings link;
    std::string traceFile;  // full path of the trace file it names, empty when none
};

PortSetting ReadPortSetting();

// Whether the object looks for its modem among the ports ("Port=auto", with full modem support).
bool SearchesPort(const PortSetting& setting);
// The port the object receives on once StartReceiving succeeded: the one SerComm.ini names, or
// the one Port=auto found, which the object holds; 0 when none is known.
int PortInUse(const PortSetting& setting);

// "Full Decoding on, Full Modem Support off"
std::wstring Modes(const LinkSettings& link);

// Asks the modem on the configured port the set-up commands the object sends without full modem
// support, and says which one it refused with which answer; empty when none was refused or the
// port cannot be opened.
std::wstring RefusedSetUp();

// "0x80004005 (Unspecified error)"
std::wstring HresultText(HRESULT hr);

// registeredPath: the DLL registered for the class, empty when unknown.
Failure CreateFailure(HRESULT hr, const std::wstring& registeredPath);

// reason: the object's own account of the failure (its error information), or what RefusedSetUp
// found out; empty when neither says anything.
Failure StartFailure(HRESULT hr, const PortSetting& setting, const std::wstring& reason = {});

// --trace when the settings name no trace file to follow.
Failure NoTraceFile(const PortSetting& setting);

// Any other step: "<step> failed: 0x... (...)".
Failure StepFailure(const std::wstring& step, HRESULT hr);

// The InprocServer32 path registered for clsid, empty when there is none.
std::wstring RegisteredServerPath(const CLSID& clsid);

}  // namespace pelvaro::listen
