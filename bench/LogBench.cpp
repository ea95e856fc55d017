// SPDX-License-Identifier: Apache-2.0
// What the library log costs its callers: one formatted line into a sink, and a disabled scope trace (which still
// writes its single exit line), each measured with a sink that only keeps the length.

#include <benchmark/benchmark.h>

#include <atomic>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace {

std::atomic<size_t> bytesSeen{0};

void installCountingSink() {
  static const bool installed = [] {
    trevalon::common::addLogSink(
        0xFF, [](const std::string& line) { bytesSeen.fetch_add(line.size(), std::memory_order_relaxed); }, "bench");
    trevalon::common::setThreadName("BENCH");
    return true;
  }();
  (void)installed;
}

void quietlyTracedCall() { TREVALON_TRACE_QUIET(); }

void tracedCall() { TREVALON_TRACE(); }

void BM_LogLineIntoSink(benchmark::State& state) {
  installCountingSink();
  for (auto _ : state) {
    TREVALON_LOG(info, "transmit %zu bytes to %s", size_t{40}, "001a7dda7113");
  }
  benchmark::DoNotOptimize(bytesSeen.load());
}
BENCHMARK(BM_LogLineIntoSink);

void BM_DisabledScopeTrace(benchmark::State& state) {
  installCountingSink();
  for (auto _ : state) {
    quietlyTracedCall();
  }
}
BENCHMARK(BM_DisabledScopeTrace);

void BM_EnabledScopeTrace(benchmark::State& state) {
  installCountingSink();
  for (auto _ : state) {
    tracedCall();
  }
}
BENCHMARK(BM_EnabledScopeTrace);

void BM_FormatMessage(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(trevalon::common::formatMessage("Invalid padding size %i", 17));
  }
}
BENCHMARK(BM_FormatMessage);

}  // namespace
