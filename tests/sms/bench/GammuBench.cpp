// Gammu's PDU decoder on the same deliveries: the hexadecimal PDU to octets and
// GSM_DecodePDUFrame, the work our path does after finding the PDU.

#include <benchmark/benchmark.h>
#include <gammu.h>

#include <memory>
#include <vector>

#include "tests/sms/bench/Bench.h"
#include "tests/sms/bench/Corpus.h"

namespace pelvaro::bench {

namespace {

void DecodeWithGammu(benchmark::State& state, const std::string& kind) {
    const std::vector<Delivery> corpus = Corpus(kind);
    const auto message = std::make_unique<GSM_SMSMessage>();
    unsigned char octets[256];
    GSM_Debug_Info* debug = GSM_GetGlobalDebug();
    std::size_t next = 0;
    for (auto _ : state) {
        const Delivery& delivery = corpus[next++ % corpus.size()];
        const std::size_t length = delivery.pdu.size() / 2;
        DecodeHexBin(octets, reinterpret_cast<const unsigned char*>(delivery.pdu.data()),
                     delivery.pdu.size());
        const GSM_Error error =
            GSM_DecodePDUFrame(debug, message.get(), octets, length, nullptr, TRUE);
        if (error != ERR_NONE) {
            state.SkipWithError("GSM_DecodePDUFrame failed");
            break;
        }
        benchmark::DoNotOptimize(message->Text);
        benchmark::ClobberMemory();
    }
}

}  // namespace

void RegisterGammu() {
    for (const std::string& kind : Kinds()) {
        benchmark::RegisterBenchmark(("gammu/" + kind).c_str(), DecodeWithGammu, kind);
    }
}

}  // namespace pelvaro::bench
