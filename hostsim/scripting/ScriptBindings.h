// The script-facing object model's native half: one entry point, op(name, handle, args...),
// that looks the operation up in the classes' binding tables (bindings/, one file a class)
// and runs it on the project's model under its lock (ScriptModel::WithScene). Values cross
// as numbers, texts, booleans, lists of numbers and object references ([kind, id]); a
// ModelError becomes the script's Error with the host's text.
// The script half (prototypes, collections, instanceof) is ObjectModel.js.
// main thread, during a script.
#pragma once

#include <string>
#include <vector>

struct duk_hthread;

namespace hostsim {

class ScriptModel;

// Registers the natives as properties of the object on top of the stack.
void PutScriptBindings(duk_hthread* ctx);
// The model the natives use, kept in the heap's stash.
void SetBindingsModel(duk_hthread* ctx, ScriptModel* model);
// The environment's natives that need the engine itself (EnvironmentBindings.cpp), as
// properties of the object on top of the stack.
void PutEnvironmentNatives(duk_hthread* ctx);

// What the object model says of every member of the host's list, read on live objects:
// json is {"Class": {"member": "modelled" | "not-modelled"}}; faults names each member that
// is neither (it reads as undefined or throws another error). Main thread, outside a run.
struct MemberReport {
    std::string json;
    std::vector<std::string> faults;
};
MemberReport ReportMembers(duk_hthread* ctx);

}  // namespace hostsim
