// Micro-benchmarks of the paths every message takes inside the plug-in.
#include <benchmark/benchmark.h>

#include "AEGP_SuiteHandler.h"
#include "FakeHost.h"
#include "ThreadSafeQueue.h"
#include "Tracer.h"

namespace {

// With both switches off a trace must cost no more than testing two flags.
void BM_TraceSwitchedOff(benchmark::State& state) {
    Cuebridge::Tracer::SetTracing(false);
    Cuebridge::Tracer::SetLog(false);
    int value = 0;
    for (auto _ : state) {
        Cuebridge::Tracer::TRACE("Executing command %d", value++);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TraceSwitchedOff);

void BM_QueuePushPop(benchmark::State& state) {
    Cuebridge::ThreadSafeQueue queue;
    const std::string item = "2004";
    for (auto _ : state) {
        queue.Push(item);
        benchmark::DoNotOptimize(queue.Pop());
    }
}
BENCHMARK(BM_QueuePushPop);

// Every host operation builds a fresh handler and asks it for one suite.
void BM_FreshSuiteHandlerAccessor(benchmark::State& state) {
    fakehost::FakeHost host;
    for (auto _ : state) {
        AEGP_SuiteHandler handler(host.Basic());
        benchmark::DoNotOptimize(handler.CommandSuite1());
        host.ClearCalls();
    }
}
BENCHMARK(BM_FreshSuiteHandlerAccessor);

}  // namespace

BENCHMARK_MAIN();
