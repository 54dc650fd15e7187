#include "server/receiver/FullReception.h"

#include <mutex>

#include "server/module/ModulePath.h"
#include "server/receiver/FullDialogue.h"

namespace pelvaro {
namespace {

constexpr wchar_t kWindowClass[] = L"Pelvaro.Reception";
constexpr UINT kEventsPosted = WM_APP + 1;

// The class lives while a window of it does: registered with the first, unregistered with the
// last, so that it never outlives the library whose window procedure it names.
std::mutex windowsMutex;
int windowCount = 0;

HWND CreateEventWindow(WNDPROC procedure, void* owner) {
    const std::lock_guard<std::mutex> lock(windowsMutex);
    if (windowCount == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ThisModule();
        windowClass.lpszClassName = kWindowClass;
        if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return nullptr;
        }
    }
    const HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ThisModule(), nullptr);
    if (window) {
        ++windowCount;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    } else if (windowCount == 0) {
        UnregisterClassW(kWindowClass, ThisModule());
    }
    return window;
}

void DestroyEventWindow(HWND window) {
    if (!window) return;
    const std::lock_guard<std::mutex> lock(windowsMutex);
    DestroyWindow(window);
    if (--windowCount == 0) UnregisterClassW(kWindowClass, ThisModule());
}

}  // namespace

FullReception::FullReception(const LinkSettings& settings, ReceptionEvents& events)
    : events_(events),
      window_(CreateEventWindow(&FullReception::WindowProc, this)),
      mailbox_([this] { PostMessageW(window_, kEventsPosted, 0, 0); }),
      dialogue_(std::make_unique<FullDialogue>(settings, mailbox_)) {}

FullReception::~FullReception() {
    if (thread_.joinable()) {
        // What was posted and not raised stays with the modem, stored or unacknowledged.
        mailbox_.RequestStop();
        Outgoing dropped;
        while (mailbox_.WaitForItem(dropped)) {
        }
        thread_.join();
    }
    DestroyEventWindow(window_);
}

SetUpReport FullReception::Start() {
    if (!window_) {
        return {SetUpReport::Kind::Failed, "no window for the events could be made", 0};
    }
    thread_ = std::thread([this] { dialogue_->Run(); });
    SetUpReport report = mailbox_.FirstReport();
    if (report.kind == SetUpReport::Kind::Failed) thread_.join();
    return report;
}

SetUpReport FullReception::StartAgain() {
    ++generation_;
    return mailbox_.SetUp();
}

bool FullReception::Drain() {
    if (raising_ || stopping_) return true;
    raising_ = true;
    Outgoing item;
    while (!CloseDue() && mailbox_.Take(item)) Raise(item);
    raising_ = false;
    return !CloseDue();
}

void FullReception::Stop() {
    if (stopping_ || !thread_.joinable()) return;
    // Handlers run from here see a raise in progress: their Close waits for this one.
    stopping_ = raising_ = true;
    mailbox_.RequestStop();
    Outgoing item;
    while (mailbox_.WaitForItem(item)) Raise(item);
    thread_.join();
    raising_ = false;
}

void FullReception::Raise(const Outgoing& item) {
    if (item.kind == Outgoing::Kind::TestEvent) {
        events_.RaiseLinkLost();
        return;
    }
    mailbox_.Answer({item.id, events_.RaiseNewSms(item.message)});
}

LRESULT CALLBACK FullReception::WindowProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
    if (message != kEventsPosted) return DefWindowProcW(window, message, wparam, lparam);
    auto* self = reinterpret_cast<FullReception*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // The owner may end this reception, and destroy this window, before this returns.
    if (self) self->events_.EventsWaiting();
    return 0;
}

}  // namespace pelvaro
