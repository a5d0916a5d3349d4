// The host's suite tables as the plug-in sees them: C function pointers to static
// trampolines that check the calling thread, count and journal the call, and route it to
// SuiteHost::Current(). Tables are constant and valid for the process's life. Any thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "AE_Host.h"

namespace hostsim::Suites {

// The thread rule: false for the host calls allowed from any thread (suite acquire and
// release, the idle-call request, the language query), true for every other call.
bool MainThreadOnly(std::string_view call);
// The basic suite handed to EntryPointFunc.
SPBasicSuite* Basic();
// The table served for (name, version), or null for a pair the host does not serve.
const void* TableFor(const char* name, std::int32_t version);

}  // namespace hostsim::Suites
