// pelvaro-listen: prints the SMS that Pelvaro.ReadSms receives, as its events arrive.

#include <windows.h>

#include <string>
#include <vector>

#include "tools/pelvaro-listen/Arguments.h"
#include "tools/pelvaro-listen/ConsoleOutput.h"
#include "tools/pelvaro-listen/Diagnosis.h"
#include "tools/pelvaro-listen/Probe.h"
#include "tools/pelvaro-listen/Session.h"
#include "win/ToHresult.h"
#include "win/Widen.h"

namespace {

using namespace pelvaro::listen;

DWORD g_pumpThread = 0;
LONG g_interrupts = 0;

// Runs on a thread of its own: the first Ctrl+C asks the pumping thread to stop, so
// that Close, Unadvise and Release still run; a second one ends the process at once.
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    if (InterlockedIncrement(&g_interrupts) > 1) return FALSE;
    PostThreadMessageW(g_pumpThread, WM_QUIT, 0, 0);
    return TRUE;
}

// Usage and argument texts: ANSI, with LF line ends.
std::wstring WindowsText(const std::string& text) {
    std::string lines;
    for (char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    return pelvaro::Widen(lines);
}

}  // namespace

int main(int argc, char** argv) {
    ConsoleOutput out(STD_OUTPUT_HANDLE);
    ConsoleOutput err(STD_ERROR_HANDLE);

    const ParsedArguments parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        err.Write(WindowsText("pelvaro-listen: " + parsed.error + " (see --help)\n"));
        return kExitUsage;
    }
    if (parsed.options.help) {
        out.Write(WindowsText(kUsage));
        return kExitOk;
    }

    // The thread needs its message queue before anyone posts to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    g_pumpThread = GetCurrentThreadId();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    try {
        if (parsed.options.probe) return RunProbe(out);
        return RunSession(parsed.options, out, err);
    } catch (...) {
        const Failure failure = StepFailure(L"Listening", pelvaro::ToHresult());
        err.Write(L"pelvaro-listen: " + failure.line + L"\r\n");
        return failure.exitStatus;
    }
}
