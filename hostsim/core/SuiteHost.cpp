#include "core/SuiteHost.h"

#include <atomic>

namespace hostsim {
namespace {
std::atomic<SuiteHost*> g_current{nullptr};
}  // namespace

SuiteHost* SuiteHost::Current() { return g_current.load(); }

void SuiteHost::SetCurrent(SuiteHost* host) { g_current = host; }

}  // namespace hostsim
