// The host's suite tables as the plug-in sees them: C function pointers to static
// trampolines that check the calling thread, count and journal the call, and route it to
// Host::Current(). Tables are constant and valid for the process's life. Any thread.
#pragma once

#include <cstdint>

#include "AE_Host.h"

namespace hostsim::Suites {

// The basic suite handed to EntryPointFunc.
SPBasicSuite* Basic();
// The table served for (name, version), or null for a pair the host does not serve.
const void* TableFor(const char* name, std::int32_t version);

}  // namespace hostsim::Suites
