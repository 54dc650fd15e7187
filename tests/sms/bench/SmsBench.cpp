// Modem text to summary, one delivery per iteration, so the reported time is the
// time per message: decoding alone ("pelvaro", compared with Gammu when it is
// installed), and framing and decoding as the receiver does both ("framed").

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "modem/ModemFraming.h"
#include "sms/ClientMessage.h"
#include "tests/sms/bench/Allocations.h"
#include "tests/sms/bench/Bench.h"
#include "tests/sms/bench/Corpus.h"

namespace pelvaro::bench {

const std::vector<std::string>& Kinds() {
    static const std::vector<std::string> kinds = {"short", "160", "escapes"};
    return kinds;
}

namespace {

// framed: as the receiver does, the delivery found by framing what the modem sent; otherwise
// the bare PDU. full: the full reading instead of the default one.
void DecodeModemText(benchmark::State& state, const std::string& kind, bool framed, bool full) {
    const std::vector<Delivery> corpus = Corpus(kind);
    std::size_t next = 0;
    MessageReader reader(full);
    const MessageReader::Clock::time_point now = MessageReader::Clock::now();
    std::vector<ClientMessage> ready;
    ready.reserve(1);
    const std::size_t before = Allocations();
    for (auto _ : state) {
        const Delivery& sample = corpus[next++ % corpus.size()];
        ready.clear();
        if (!framed) {
            reader.Read(pelvaro::Delivery{{}, sample.pdu}, now, ready);
        } else {
            ModemFraming framing(sample.modemText);
            for (pelvaro::Delivery found; framing.Next(found);) reader.Read(found, now, ready);
        }
        benchmark::DoNotOptimize(ready.data());
        benchmark::ClobberMemory();
    }
    state.counters["allocs/msg"] = benchmark::Counter(static_cast<double>(Allocations() - before),
                                                      benchmark::Counter::kAvgIterations);
}

// What a long message holds while its parts wait: its first parts of 153 characters read, the
// last not yet.
void WaitingParts() {
    const std::vector<Delivery> parts = LongMessageParts();
    MessageReader reader(true);
    std::vector<ClientMessage> ready;
    ready.reserve(1);
    const auto now = MessageReader::Clock::now();
    CountHeldBytes(true);
    const std::size_t before = HeldBytes();
    std::printf(
        "\nHeap held by a long message while its parts wait (%zu parts of 153 "
        "characters):\n",
        parts.size());
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        reader.Read(pelvaro::Delivery{{}, parts[i].pdu}, now, ready);
        std::printf("  after part %zu: %zu bytes\n", i + 1, HeldBytes() - before);
    }
    reader.Read(pelvaro::Delivery{{}, parts.back().pdu}, now, ready);
    std::printf(
        "  all parts in: %zu bytes: the client's message, and the room kept for waiting ones\n",
        HeldBytes() - before);
    CountHeldBytes(false);
}

// Prints the usual table, then the CPU time per message of each decoder and ours
// as a ratio to Gammu's.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions, the median stands for the benchmark.
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type == Run::RT_Iteration || median) && run.iterations > 0) {
                nsPerMessage_[run.run_name.str()] = run.GetAdjustedCPUTime() * 1e9 /
                                                    benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nCPU time per message, and as a share of Gammu's on the same messages:\n");
        std::printf("%-10s %10s %12s %8s %12s %8s\n", "kind", "gammu ns", "framed ns", "share",
                    "full ns", "share");
        for (const std::string& kind : Kinds()) {
            const double theirs = Lookup("gammu/" + kind);
            const double framed = Lookup("framed/" + kind);
            const double full = Lookup("full/" + kind);
            std::printf("%-10s %10.1f %12.1f %8.3f %12.1f %8.3f\n", kind.c_str(), theirs, framed,
                        theirs > 0 ? framed / theirs : 0, full, theirs > 0 ? full / theirs : 0);
        }
        std::printf(
            "(framed: the default reading from what the modem sent, at most 0.2; full:\n"
            "the full reading of the PDU, at most 0.1)\n");
        WaitingParts();
    }

  private:
    double Lookup(const std::string& name) const {
        const auto found = nsPerMessage_.find(name);
        return found == nsPerMessage_.end() ? 0 : found->second;
    }

    std::map<std::string, double> nsPerMessage_;
};

}  // namespace
}  // namespace pelvaro::bench

int main(int argc, char** argv) {
    using namespace pelvaro::bench;
    for (const std::string& kind : Kinds()) {
        benchmark::RegisterBenchmark(("pelvaro/" + kind).c_str(), DecodeModemText, kind, false,
                                     false);
        benchmark::RegisterBenchmark(("framed/" + kind).c_str(), DecodeModemText, kind, true,
                                     false);
        benchmark::RegisterBenchmark(("full/" + kind).c_str(), DecodeModemText, kind, false, true);
    }
#ifdef PELVARO_BENCH_GAMMU
    RegisterGammu();
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
