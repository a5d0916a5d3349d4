// The end-to-end measurements: cuebridge-hostsim started as a child process with the
// real plug-in (journal off, a long idle interval, so only the idle calls the plug-in
// asks for run), driven over loopback as the controller service drives it. Each
// function starts and ends its own host, and its floor (FloorPeer, Floor.h): the same
// bytes to a peer process that only answers, sampled in blocks that alternate with the
// plug-in's so both see the same machine. Called from the benchmark's main thread;
// latency samples are in microseconds. Failures throw std::runtime_error.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cuebridge_bench {

// Moves the active composition's playhead one frame (wrapping at the end) and replies the
// top layer's opacity.
constexpr const char* kModelScript =
    "var c = app.project.activeItem; var n = Math.round(c.duration * c.frameRate); "
    "c.time = (Math.round(c.time * c.frameRate) + 1) % n / c.frameRate; "
    "c.layer(1).transform.opacity.value";

// Selects two properties with keys on two selected layers (and one without keys), once.
constexpr const char* kSelectKeyedProperties =
    "var c = app.project.activeItem, t = c.layer('Title'), g = c.layer('Logo'); "
    "g.selected = true; t.position.setValueAtTime(0, [960, 540, 0]); "
    "t.position.setValueAtTime(1, [960, 300, 0]); t.position.selected = true; "
    "t.opacity.selected = true; g.opacity.selected = true; 'ready'";

// An ease script's shape: every key of the selected layers' selected properties read (time and
// value) and set again; replies the number of keys (4 after kSelectKeyedProperties).
constexpr const char* kSelectedKeysScript =
    "var layers = app.project.activeItem.selectedLayers, keys = 0; "
    "for (var i = 0; i < layers.length; i++) { var props = layers[i].selectedProperties; "
    "for (var j = 0; j < props.length; j++) { var p = props[j]; "
    "if (!(p instanceof Property)) continue; "
    "for (var k = 1; k <= p.numKeys; k++) { p.setValueAtTime(p.keyTime(k), p.keyValue(k)); "
    "keys++; } } } keys";

// An easy ease on every key of the selected layers' selected properties (one KeyframeEase per
// dimension for TwoD and ThreeD values, else one); replies the number of keys eased (4 after
// kSelectKeyedProperties).
constexpr const char* kEaseScript =
    "var layers = app.project.activeItem.selectedLayers, keys = 0; "
    "for (var i = 0; i < layers.length; i++) { var props = layers[i].selectedProperties; "
    "for (var j = 0; j < props.length; j++) { var p = props[j]; "
    "if (!(p instanceof Property)) continue; var t = p.propertyValueType, e = [], "
    "n = t === PropertyValueType.TwoD ? 2 : t === PropertyValueType.ThreeD ? 3 : 1; "
    "for (var d = 0; d < n; d++) e.push(new KeyframeEase(0, 33.33)); "
    "for (var k = 1; k <= p.numKeys; k++) { p.setTemporalEaseAtKey(k, e, e); keys++; } } } keys";

struct HostSetup {
    std::string hostsim;                    // the cuebridge-hostsim program
    std::string plugin;                     // Cuebridge.so
    int effects = 1000;                     // installed effects the host reports
    std::vector<std::string> extraOptions;  // passed on to every host
};

struct Interactive {
    std::vector<double> echo;        // floor: the query's bytes -> a reply of the same size
    std::vector<double> largeReply;  // floor: the effects request -> a reply of the same size
    std::vector<double> query;       // GetAfterEffectLanguage request -> reply
    std::vector<double> script;      // "1+1" request -> reply
    // A controller's script on the host's model: the playhead one frame on, and one
    // property's value read back (kModelScript), request -> reply.
    std::vector<double> modelScript;
    // The selected layers' selected keys read and set (kSelectedKeysScript), request -> reply.
    std::vector<double> keysScript;
    std::vector<double> easeScript;  // kEaseScript, request -> reply
    std::vector<double> command;     // ExecuteCommand sent -> AEGP_DoCommand entered
    std::vector<double> effects;     // GetInstalledAfterEffectEffects request -> whole reply
    std::size_t effectsReplyBytes = 0;
    std::string queryReply, scriptReply;
};

// One host, with command stamping on: the four request/reply and latency figures, and the
// two round-trip floors, in `blocks` alternating blocks.
Interactive MeasureInteractive(const HostSetup& setup, int samples, int effectsSamples, int blocks);

struct Throughput {
    std::vector<double> rates;       // commands per second, one figure per burst
    std::vector<double> floorRates;  // the same bytes to a peer that counts the lines
};

// One host, no stamping: `repeats` bursts of `commands` pipelined ExecuteCommand
// messages, each closed by a "1+1" script whose reply comes only after the idle hook
// drained every command ahead of it, each after a floor burst. Checks with the host that
// all of them ran.
Throughput MeasureThroughput(const HostSetup& setup, int commands, int repeats);

struct ViewThroughput {
    std::vector<double> plain;        // commands per second, host without the view
    std::vector<double> viewed;       // the same, host with --ui and a page reading its events
    std::vector<std::size_t> events;  // events the page received during each viewed burst
};

// Two hosts at once, one plain and one with the live view and a page (ViewReader) reading
// its event stream; `repeats` bursts on each, alternating.
ViewThroughput MeasureViewThroughput(const HostSetup& setup, int commands, int repeats);

struct Flood {
    std::vector<double> rates;         // commands per second, one figure per flood
    std::vector<double> consoleTrips;  // console round trips (us) made while a flood ran
};

// One host, no stamping: `repeats` floods of `commands` pipelined ExecuteCommand messages,
// each closed by a "1+1" script, while the host's console is asked one cheap script after
// another until the flood's closing reply: how long the host's own user keeps waiting.
Flood MeasureFlood(const HostSetup& setup, int commands, int repeats);

// Writes a host effects file of `count` effects with names of typical length.
void WriteEffectsFile(const std::string& path, int count);

}  // namespace cuebridge_bench
