// Reception under bursts, in the fixed dialogue and with "Full Modem Support=1": a simulated modem
// that does not wait for acknowledgements takes messages in bursts at irregular times. Prints the
// latency from the message reaching the modem to OnNewSms, and how much of the time the client's
// thread was held outside its handler, and fails when a message is lost, repeated or out of
// order. Timings are only reported: they depend on the machine.
//
//   server_reception_bench [BURST...]   (default: 2 5), 100 deliveries for each burst size

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "modem/SerialPort.h"
#include "server/receiver/ReadSms.h"
#include "tests/modem/ModemTesting.h"
#include "tests/server/ServerTestSupport.h"
#include "tests/support/ModemSim.h"
#include "win/ComPtr.h"

namespace pelvaro {
namespace {

using test::ModemSim;
using test::TestSink;

using Clock = std::chrono::steady_clock;
constexpr int kDeliveries = 100;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string MessageText(int number) {
    return "burst message " + std::to_string(number);
}

// How long the client's thread was Pelvaro's, outside the sink's handler.
struct Held {
    Clock::duration total{};
    Clock::duration longest{};
    Clock::duration inHandler{};  // of the dispatch under way
};

void PumpMessages(DWORD waitMs, Held& held) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        held.inHandler = {};
        const Clock::time_point start = Clock::now();
        DispatchMessageW(&message);
        const Clock::duration spent = Clock::now() - start - held.inHandler;
        held.total += spent;
        held.longest = std::max(held.longest, spent);
    }
}

// Writes the messages in bursts of `burst`, 0.5 to 1.5 s apart; the time each burst went out.
std::vector<Clock::time_point> WriteBursts(ModemSim& sim, int burst) {
    std::minstd_rand random(static_cast<unsigned>(burst));
    std::uniform_int_distribution<int> pauseMs(500, 1500);
    std::vector<Clock::time_point> written(kDeliveries);
    for (int first = 0; first < kDeliveries; first += burst) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        const int count = std::min(burst, kDeliveries - first);
        sim.DeliverTogether(count);
        // The sim writes the burst as soon as it has answered the last of these orders.
        for (int i = 0; i < count; ++i) sim.DeliverText("+4915112345678", MessageText(first + i));
        std::fill_n(written.begin() + first, count, Clock::now());
    }
    return written;
}

// False when a message was lost, repeated or raised out of order.
bool Measure(const char* dialogue, double targetMs, CReadSms& receiver, TestSink& sink,
             ModemSim& sim, int burst) {
    sim.Reset();
    sim.SetHold(false);
    sink.calls.clear();
    std::vector<Clock::time_point> raised;
    Held held;
    // The handler's own time is the client's, not Pelvaro's.
    sink.onInvoke = [&] {
        const Clock::time_point start = Clock::now();
        raised.push_back(start);
        held.inHandler += Clock::now() - start;
    };
    if (receiver.StartReceiving(VARIANT_FALSE) != S_OK) {
        std::fprintf(stderr, "the receiver did not start\n");
        return false;
    }
    const Clock::time_point began = Clock::now();

    std::vector<Clock::time_point> written;
    std::atomic<bool> writing = true;
    std::thread writer([&] {
        written = WriteBursts(sim, burst);
        writing = false;
    });
    Clock::time_point end = Clock::time_point::max();
    while (Clock::now() < end && sink.calls.size() < kDeliveries) {
        PumpMessages(10, held);
        if (!writing && end == Clock::time_point::max())
            end = Clock::now() + std::chrono::seconds(5);
    }
    writer.join();
    const double wallMs = MsBetween(began, Clock::now());
    receiver.Close();
    sink.onInvoke = nullptr;

    const std::vector<std::wstring> texts = sink.Texts();
    bool inOrder = texts.size() == kDeliveries;
    std::vector<double> latencies;
    for (std::size_t i = 0; i < texts.size() && i < kDeliveries; ++i) {
        const std::string expected = MessageText(static_cast<int>(i));
        inOrder = inOrder && texts[i].size() >= expected.size() &&
                  std::equal(expected.rbegin(), expected.rend(), texts[i].rbegin());
        latencies.push_back(MsBetween(written[i], raised[i]));
    }
    std::sort(latencies.begin(), latencies.end());
    const auto late =
        std::count_if(latencies.begin(), latencies.end(), [&](double ms) { return ms > targetMs; });
    const double heldMs = std::chrono::duration<double, std::milli>(held.total).count();
    std::printf(
        "%s, bursts of %d: %zu of %d raised, %s; latency median %.0f ms, worst %.0f ms, "
        "%ld over %.0f ms; client's thread held %.1f%% of the time, at most %.1f ms at once\n",
        dialogue, burst, texts.size(), kDeliveries,
        inOrder ? "each once and in order" : "NOT each once and in order",
        latencies.empty() ? 0 : latencies[latencies.size() / 2],
        latencies.empty() ? 0 : latencies.back(), static_cast<long>(late), targetMs,
        100.0 * heldMs / wallMs, std::chrono::duration<double, std::milli>(held.longest).count());
    return inOrder;
}

}  // namespace
}  // namespace pelvaro

int main(int argc, char** argv) {
    std::vector<int> bursts;
    for (int i = 1; i < argc; ++i) bursts.push_back(std::atoi(argv[i]));
    if (bursts.empty()) bursts = {2, 5};

    pelvaro::test::ModemSim sim;
    const struct {
        const char* name;
        const char* settings;
        double targetMs;  // the fixed dialogue polls once a second
    } dialogues[] = {
        {"fixed dialogue", "", 1200},
        {"Full Modem Support=1", "Full Modem Support=1\r\n", 300},
    };
    bool allInOrder = true;
    for (const auto& dialogue : dialogues) {
        const std::string settings = pelvaro::test::WriteSettingsFile(
            "reception-bench.ini", pelvaro::test::SettingsFor(sim.Port()) + dialogue.settings);
        pelvaro::SerialPort().ReadSettings(settings.c_str());

        pelvaro::test::TestSink sink;
        CReadSms* receiver = new CReadSms();
        pelvaro::ComPtr<IUnknown> object;
        receiver->InnerUnknown()->QueryInterface(IID_IUnknown, object.PutVoid());
        DWORD cookie = 0;
        receiver->Events().Advise(sink.Unknown(), &cookie);
        for (int burst : bursts) {
            allInOrder =
                pelvaro::Measure(dialogue.name, dialogue.targetMs, *receiver, sink, sim, burst) &&
                allInOrder;
        }
        receiver->Events().Unadvise(cookie);
    }
    return allInOrder ? 0 : 1;
}
