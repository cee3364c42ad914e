// Throughput of the field cipher on typical member-record fields: a data page deciphers
// eight columns of every record it loads, so DecipherTextHex is the hot path.
#include <benchmark/benchmark.h>

#include <string>

#include "core/field_cipher.h"

namespace {

// Mobile numbers and similar: one block (16 hex digits) or two (32 digits).
const std::string kShortValue = "13800138000";          // 11 bytes -> 16 bytes
const std::string kShortOneBlock = "1380013";           // 7 bytes -> 8 bytes
const std::string kChineseValue = "杭州市西湖区文三路";  // 18 GBK bytes -> 24 bytes

void EncipherHex(benchmark::State& state, const std::string& value) {
    for (auto _ : state) benchmark::DoNotOptimize(qv::EncipherTextHex(value, qv::FieldCipherKey));
    state.SetItemsProcessed(state.iterations());
}

void DecipherHex(benchmark::State& state, const std::string& value) {
    const std::string hex = qv::EncipherTextHex(value, qv::FieldCipherKey);
    for (auto _ : state) benchmark::DoNotOptimize(qv::DecipherTextHex(hex, qv::FieldCipherKey));
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(std::to_string(hex.size()) + " hex digits");
}

}  // namespace

BENCHMARK_CAPTURE(EncipherHex, digits16, kShortOneBlock);
BENCHMARK_CAPTURE(EncipherHex, digits32, kShortValue);
BENCHMARK_CAPTURE(DecipherHex, digits16, kShortOneBlock);
BENCHMARK_CAPTURE(DecipherHex, digits32, kShortValue);
BENCHMARK_CAPTURE(EncipherHex, chinese48, kChineseValue);
BENCHMARK_CAPTURE(DecipherHex, chinese48, kChineseValue);

BENCHMARK_MAIN();
