#include "Cpu.h"

#include <sched.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace cuebridge_bench {

int LastAllowedCpu() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return 0;
    for (int cpu = CPU_SETSIZE - 1; cpu > 0; --cpu)
        if (CPU_ISSET(cpu, &allowed)) return cpu;
    return 0;
}

void PinToCpu(int cpu) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0)
        throw std::runtime_error("cannot pin to CPU " + std::to_string(cpu) + ": " +
                                 std::strerror(errno));
}

}  // namespace cuebridge_bench
