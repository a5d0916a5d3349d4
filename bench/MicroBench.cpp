// Micro-benchmarks of the paths every message takes inside the plug-in.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "AEGP_SuiteHandler.h"
#include "MarluneSocket.h"
#include "Protocol.h"
#include "ThreadSafeQueue.h"
#include "Tracer.h"
#include "core/Host.h"
#include "core/Suites.h"

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

// One full receive (131,071 bytes) of a controller's burst of menu commands, cut into
// messages. The last message is cut off by the receive and stays as the tail, which
// the next round's Reset drops, as a new connection would.
std::string ReceiveOfCommands() {
    std::string bytes;
    for (int i = 0; bytes.size() < Cuebridge::MarluneSocket::kReceiveBufferSize - 1; ++i)
        bytes += Cuebridge::Protocol::FormatRequest(std::to_string(i),
                                                    Cuebridge::Protocol::kExecuteCommand,
                                                    std::to_string(2000 + i % 1000));
    bytes.resize(Cuebridge::MarluneSocket::kReceiveBufferSize - 1);
    return bytes;
}

void BM_SplitFullReceive(benchmark::State& state) {
    const std::string bytes = ReceiveOfCommands();
    Cuebridge::MessageAssembler assembler;
    std::size_t messages = 0;
    for (auto _ : state) {
        assembler.Reset();
        assembler.Feed(bytes, [&messages](std::string_view message) {
            benchmark::DoNotOptimize(message.data());
            ++messages;
            return true;
        });
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(messages));
}
BENCHMARK(BM_SplitFullReceive);

// The same receive through the socket's whole path short of the wire: framing, the
// split into fields and a dispatcher that only counts.
class CountingSocket : public Cuebridge::MarluneSocket {
public:
    std::string ProcessMessage(std::string) override { return {}; }
};

void BM_SplitAndDispatchFullReceive(benchmark::State& state) {
    const std::string bytes = ReceiveOfCommands();
    auto socket = std::make_unique<CountingSocket>();  // 128 KiB: not on the stack
    std::size_t messages = 0;
    socket->SetDispatcher([&messages](std::vector<std::string> fields) {
        benchmark::DoNotOptimize(fields.data());
        ++messages;
        return std::string();
    });
    for (auto _ : state) {
        socket->HandleReceived(-1, bytes);
        socket->HandlePendingTail(-1);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(messages));
}
BENCHMARK(BM_SplitAndDispatchFullReceive);

// Every host operation builds a fresh handler and asks it for one suite.
void BM_FreshSuiteHandlerAccessor(benchmark::State& state) {
    hostsim::Host host({}, {}, {});  // no journal: the cost of the host's bookkeeping only
    for (auto _ : state) {
        AEGP_SuiteHandler handler(hostsim::Suites::Basic());
        benchmark::DoNotOptimize(handler.CommandSuite1());
    }
}
BENCHMARK(BM_FreshSuiteHandlerAccessor);

}  // namespace

BENCHMARK_MAIN();
