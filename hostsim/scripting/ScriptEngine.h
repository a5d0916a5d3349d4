// The host's script engine: one Duktape heap with one persistent global scope for the
// engine's life, and an object model (`app`) over a ScriptModel. Texts are UTF-8 both ways.
// Main thread only (the engine is not thread-safe). A run may be bounded by a time limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scripting/ScriptBindings.h"
#include "scripting/ScriptModel.h"

struct duk_hthread;

namespace hostsim {

// The language scripts are given: the host's older one (no JSON, no later library
// additions such as Object.keys, Array.prototype.map or Date.now), or all the engine has.
enum class ScriptDialect { Classic, Modern };

struct ScriptOutcome {
    std::string result;  // the final value as text; empty for undefined or on error
    std::string error;   // empty on success
};

class ScriptEngine {
public:
    // main thread. memoryLimit: the most the engine's heap may hold, in bytes; an allocation
    // past it fails, so the running script ends with an out-of-memory error.
    ScriptEngine(ScriptModel& model, std::size_t memoryLimit,
                 ScriptDialect dialect = ScriptDialect::Classic);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // main thread. timeoutMs 0: no limit. A run started from inside a run is refused.
    ScriptOutcome Run(const std::string& source, std::int64_t timeoutMs);

    // Async-signal-safe: the running script (and any later one) stops at once with an
    // error; for the host's end (a signal or quit), so that no script holds it for ever.
    static void StopAll();
    static bool Stopping();

    // main thread, outside a run: what the object model says of every listed member.
    MemberReport ReportMembers();

    ScriptModel& Model() { return model_; }
    // main thread: the running script is graceMicros past its time limit, or the host is
    // ending.
    bool PastItsEnd(std::int64_t graceMicros = 0) const;

    // The engine's allocator (main thread: the engine allocates only while called): every
    // block carries its size, so that what the heap holds is known.
    static void* Allocate(void* engine, std::size_t size);
    static void* Reallocate(void* engine, void* block, std::size_t size);
    static void Free(void* engine, void* block);

private:
    void InstallObjectModel(ScriptDialect dialect);
    ScriptModel& model_;
    std::size_t memoryLimit_;
    std::size_t memoryUsed_ = 0;
    bool memoryExhausted_ = false;    // an allocation failed during the current run
    bool allocationStopped_ = false;  // an allocation was refused past the run's end
    bool inScript_ = false;           // the script itself runs (not its compiling or result)
    duk_hthread* ctx_ = nullptr;
    std::int64_t deadlineMicros_ = 0;  // 0: no limit
    bool running_ = false;
};

}  // namespace hostsim
