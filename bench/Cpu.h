// Where the benchmark runs: pinning the process to one CPU before it starts any thread
// or child, so that the benchmark, the simulated host (and the plug-in's threads in it)
// and the floor's peers all inherit the same single CPU. Main thread, at start-up.
#pragma once

#include <string>

namespace cuebridge_bench {

// The highest-numbered CPU this process may run on.
int LastAllowedCpu();
// Pins the calling process to `cpu`; throws std::runtime_error when the system refuses.
void PinToCpu(int cpu);

}  // namespace cuebridge_bench
