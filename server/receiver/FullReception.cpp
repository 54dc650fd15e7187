#include "server/receiver/FullReception.h"

#include <mutex>

#include "dialogue/FullDialogue.h"
#include "server/module/ModulePath.h"

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
      opener_(settings),
      dialogue_(std::make_unique<FullDialogue>(
          settings, mailbox_, DialoguePlatform{opener_, pins_, heard_, SteadyClock()})) {}

FullReception::~FullReception() {
    if (thread_.joinable()) {
        // What was posted and not raised stays with the modem, stored or unacknowledged.
        mailbox_.RequestStop();
        for (Outgoing dropped; mailbox_.WaitForItem(dropped);) {
            if (dropped.kind == Outgoing::Kind::NewSms) mailbox_.Answer({dropped.id, false});
        }
        thread_.join();
    }
    DestroyEventWindow(window_);
}

SetUpReport FullReception::Start() {
    if (!window_) {
        return {SetUpReport::Kind::Failed, "no window for the events could be made", 0};
    }
    thread_ = std::thread([this] { RunDialogue(); });
    SetUpReport report = mailbox_.FirstReport();
    if (report.kind == SetUpReport::Kind::Failed) thread_.join();
    return report;
}

SetUpReport FullReception::StartAgain() {
    ++generation_;
    return mailbox_.SetUp();
}

void FullReception::RunDialogue() noexcept {
    try {
        dialogue_->Run();
    } catch (...) {
        // Out of memory: the reception ends as a lost link does, and says so.
        try {
            mailbox_.Report({SetUpReport::Kind::Failed, "the reception ran out of memory", 0});
            Outgoing lost;
            lost.kind = Outgoing::Kind::TestEvent;
            mailbox_.Post(std::move(lost));
        } catch (...) {
        }
    }
    mailbox_.Finished();
}

bool FullReception::Drain() {
    if (raising_ || stopping_) return true;
    raising_ = true;
    // A handler may close, and memory may run out: the next post is raised all the same.
    struct Lowered {
        bool& raising;
        ~Lowered() { raising = false; }
    } lowered{raising_};
    Outgoing item;
    while (!CloseDue() && mailbox_.Take(item)) Raise(item);
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
    const bool heard = events_.RaiseNewSms(item.message);
    // Before anything else: a process killed now has it on record.
    if (heard) {
        for (const std::string& pdu : item.pdus) heard_.Remember(pdu, HeardRecord::Clock::now());
    }
    mailbox_.Answer({item.id, heard});
}

LRESULT CALLBACK FullReception::WindowProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
    if (message != kEventsPosted) return DefWindowProcW(window, message, wparam, lparam);
    auto* self = reinterpret_cast<FullReception*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // The owner may end this reception, and destroy this window, before this returns. Nothing may
    // unwind into the message loop that dispatched the message.
    try {
        if (self) self->events_.EventsWaiting();
    } catch (...) {
    }
    return 0;
}

}  // namespace pelvaro
