// The host's script engine: one Duktape heap with one persistent global scope for the
// engine's life, and an object model (`app`) over a ScriptModel. Texts are UTF-8 both ways.
// Main thread only (the engine is not thread-safe). A run may be bounded by a time limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
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
    // How many compiled scripts the engine keeps by default, and how much of their text at
    // most (also at most 1/64 of the memory limit).
    static constexpr std::size_t kCachedScripts = 64;
    static constexpr std::size_t kCachedTextBytes = 1 << 20;

    // main thread. memoryLimit: the most the engine's heap may hold, in bytes; an allocation
    // past it fails, so the running script ends with an out-of-memory error. cachedScripts: how
    // many compiled texts to keep for running again (0: compile every run).
    ScriptEngine(ScriptModel& model, std::size_t memoryLimit,
                 ScriptDialect dialect = ScriptDialect::Classic,
                 std::size_t cachedScripts = kCachedScripts);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // main thread. timeoutMs 0: no limit. A run started from inside a run is refused. A text
    // run before is not compiled again while the engine keeps it (the most recently run texts,
    // within the bounds above); a run of the kept program behaves as a run of a fresh compile.
    ScriptOutcome Run(const std::string& source, std::int64_t timeoutMs);

    // main thread: the compiled texts kept, and the bytes of their text.
    std::size_t CachedScripts() const { return cache_.size(); }
    std::size_t CachedTextBytes() const { return cachedBytes_; }

    // Async-signal-safe: the running script (and any later one) stops at once with an
    // error; for the host's end (a signal or quit), so that no script holds it for ever.
    static void StopAll();
    static bool Stopping();

    // main thread, outside a run: what the object model says of every listed member.
    MemberReport ReportMembers();

    ScriptModel& Model() { return model_; }
    // main thread: the bytes the engine's heap holds now.
    std::size_t MemoryInUse() const { return memoryUsed_; }
    // main thread: the running script is graceMicros past its time limit, or the host is
    // ending.
    bool PastItsEnd(std::int64_t graceMicros = 0) const;

    // The engine's allocator (main thread: the engine allocates only while called): every
    // block carries its size, so that what the heap holds is known.
    static void* Allocate(void* engine, std::size_t size);
    static void* Reallocate(void* engine, void* block, std::size_t size);
    static void Free(void* engine, void* block);

private:
    // A compiled text kept in the engine's cache array (at value stack index 0) at `slot`.
    struct Cached {
        std::string source;
        std::uint32_t slot;
    };
    void InstallObjectModel(ScriptDialect dialect);
    // Pushes the program for source (kept or compiled); false with the error pushed instead.
    bool Program(const std::string& source);
    void Keep(const std::string& source);  // the compiled program on top is kept for source
    void DropCache();
    ScriptModel& model_;
    std::size_t memoryLimit_;
    std::size_t memoryUsed_ = 0;
    bool memoryExhausted_ = false;    // an allocation failed during the current run
    bool allocationStopped_ = false;  // an allocation was refused past the run's end
    bool inScript_ = false;           // the script itself runs (not its compiling or result)
    duk_hthread* ctx_ = nullptr;
    std::int64_t deadlineMicros_ = 0;  // 0: no limit
    bool running_ = false;
    std::size_t maxCached_;
    std::size_t maxCachedBytes_;
    std::list<Cached> cache_;  // most recently run first
    std::unordered_map<std::string_view, std::list<Cached>::iterator> cacheIndex_;
    std::size_t cachedBytes_ = 0;
    std::vector<std::uint32_t> freeSlots_;
};

}  // namespace hostsim
