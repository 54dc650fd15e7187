#include "tools/pelvaro-listen/Diagnosis.h"

#include <cwchar>

#include "modem/CommandPort.h"
#include "modem/ModemCommands.h"
#include "modem/ModemTrace.h"
#include "modem/PortSearch.h"
#include "modem/SerialPort.h"
#include "win/Holders.h"
#include "win/Widen.h"

namespace pelvaro::listen {

namespace {

// What the object reads, with the settings path it uses unless told otherwise.
constexpr const char* kSettingsFile = kDefaultSettingsPath;
// The modem answered the object a moment ago, if at all.
constexpr auto kDiagnosisDeadline = std::chrono::seconds(2);

#ifdef _WIN64
constexpr wchar_t kBitness[] = L"64-bit";
#else
constexpr wchar_t kBitness[] = L"32-bit";
#endif

bool IsNotRegistered(HRESULT hr) {
    return hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING;
}

bool IsUnloadableModule(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) ||
           hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ||
           hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT) || hr == CO_E_ERRORINDLL;
}

std::wstring PortName(int port) {
    return L"COM" + std::to_wstring(port);
}

std::wstring FullSettingsPath() {
    wchar_t full[MAX_PATH];
    // The relative path is ASCII, so that it widens character by character.
    const std::string relative = kSettingsFile;
    const std::wstring file(relative.begin(), relative.end());
    const DWORD n = GetFullPathNameW(file.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return file;
    return std::wstring(full, n);
}

}  // namespace

PortSetting ReadPortSetting() {
    PortSetting setting;
    setting.port = static_cast<int>(
        GetPrivateProfileIntA(kSettingsSection, kPortKey, kDefaultPort, kSettingsFile));
    setting.fileFound = GetFileAttributesA(kSettingsFile) != INVALID_FILE_ATTRIBUTES;
    // The default string tells an absent key from one that holds the default value.
    char value[16];
    GetPrivateProfileStringA(kSettingsSection, kPortKey, "\x01", value, sizeof value,
                             kSettingsFile);
    setting.keyFound = value[0] != '\x01';
    setting.file = FullSettingsPath();
    setting.link = ReadLinkSettings(kSettingsFile);
    setting.traceFile = TraceFilePath(setting.link, kSettingsFile);
    return setting;
}

bool SearchesPort(const PortSetting& setting) {
    return setting.link.autoPort && setting.link.fullModemSupport;
}

int PortInUse(const PortSetting& setting) {
    if (!SearchesPort(setting)) return setting.port;
    for (int port = 1; port <= kHighestPort; ++port) {
        if (SerialPort::HeldHere(port)) return port;
    }
    return 0;
}

std::wstring Modes(const LinkSettings& link) {
    const auto onOff = [](bool on) { return on ? L" on" : L" off"; };
    return std::wstring(L"Full Decoding") + onOff(link.fullDecoding) + L", Full Modem Support" +
           onOff(link.fullModemSupport);
}

std::wstring RefusedSetUp() {
    const LinkSettings settings = ReadLinkSettings(kSettingsFile);
    CommandPort port(settings, settings.port);
    if (!port.Open()) return {};
    for (const FixedSetUpStep& step : kFixedSetUp) {
        const Answer answer = port.Layer().Run(step.command, kDiagnosisDeadline);
        if (answer.Ok() || !step.mustSucceed) continue;
        return L"the modem refused AT" + Widen(step.command) + L" (" +
               (answer.Answered() ? Widen(answer.result) : L"no answer") + L")";
    }
    return {};
}

std::wstring HresultText(HRESULT hr) {
    wchar_t code[16];
    std::swprintf(code, sizeof code / sizeof code[0], L"0x%08lX", static_cast<unsigned long>(hr));
    UniqueLocalMem<wchar_t> message;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(message.Put()), 0, nullptr);
    std::wstring text(message ? message.Get() : L"", message ? n : 0);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return text.empty() ? std::wstring(code) : std::wstring(code) + L" (" + text + L")";
}

Failure CreateFailure(HRESULT hr, const std::wstring& registeredPath) {
    if (IsNotRegistered(hr)) {
        return {kExitNotCreatable,
                std::wstring(L"Pelvaro.ReadSms is not registered: run regsvr32 Pelvaro.dll") +
                    L" (this pelvaro-listen is " + kBitness + L" and needs the " + kBitness +
                    L" Pelvaro.dll)"};
    }
    if (IsUnloadableModule(hr)) {
        const std::wstring dll = registeredPath.empty() ? L"Pelvaro.dll" : registeredPath;
        return {kExitNotCreatable, L"Pelvaro.ReadSms is registered to " + dll +
                                       L", which could not be loaded: " + HresultText(hr) +
                                       L"; run regsvr32 on the " + kBitness +
                                       L" Pelvaro.dll where it is now"};
    }
    return {kExitNotCreatable, L"Pelvaro.ReadSms could not be created: " + HresultText(hr)};
}

Failure StartFailure(HRESULT hr, const PortSetting& setting, const std::wstring& reason) {
    if (hr != E_FAIL) {
        return {kExitNotReceiving, L"StartReceiving failed: " + HresultText(hr)};
    }
    const std::wstring port = SearchesPort(setting) ? L"Port=auto" : PortName(setting.port);
    if (!reason.empty()) {
        std::wstring line = L"StartReceiving failed: " + reason + L" (" + port + L")";
        if (!setting.link.fullModemSupport) {
            line += L"; \"Full Modem Support=1\" in [SerComm Options] of " + setting.file +
                    L" sets up such a modem as well as it can";
        }
        return {kExitNotReceiving, line};
    }
    std::wstring where;
    if (!setting.fileFound) {
        where = L"there is no " + setting.file + L", so " + port +
                L" is the default (write [SerComm Options] Port=N there)";
    } else if (!setting.keyFound) {
        where =
            setting.file + L" has no Port in [SerComm Options], so " + port + L" is the default";
    } else {
        where = L"the port is Port=" + std::to_wstring(setting.port) + L" in " + setting.file;
    }
    return {kExitNotReceiving, L"StartReceiving failed: " + port +
                                   L" could not be opened, or the modem on it did not answer; " +
                                   where};
}

Failure NoTraceFile(const PortSetting& setting) {
    return {kExitUsage, L"--trace follows the trace file that SerComm.ini names: add " +
                            Widen(kTraceFileKey) + L"=pelvaro.log to [" + Widen(kSettingsSection) +
                            L"] of " + setting.file};
}

Failure StepFailure(const std::wstring& step, HRESULT hr) {
    return {kExitFailure, step + L" failed: " + HresultText(hr)};
}

std::wstring RegisteredServerPath(const CLSID& clsid) {
    wchar_t guid[40];
    if (StringFromGUID2(clsid, guid, 40) == 0) return {};
    const std::wstring key = std::wstring(L"CLSID\\") + guid + L"\\InprocServer32";
    wchar_t path[MAX_PATH];
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS) {
        return {};
    }
    return path;
}

}  // namespace pelvaro::listen
