// cuebridge-bench: how fast a controller's action reaches the host, side by side with
// the machine's own limits measured the same way in the same run (Floor.h), the whole
// run pinned to one CPU unless --unpinned. Prints one table and, with --json, writes the
// same figures as JSON. --micro embeds the Google Benchmark JSON of cuebridge-microbench
// (the switched-off trace and the receive split).
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "Cpu.h"
#include "Floor.h"
#include "HostBench.h"
#include "Protocol.h"
#include "Stats.h"

namespace cuebridge_bench {
namespace {

namespace Protocol = Cuebridge::Protocol;

struct Settings {
    HostSetup host;
    int samples = 5000;
    int effectsSamples = 1000;
    int commands = 100000;
    int repeats = 3;
    int blocks = 10;
    int cpu = -1;  // -1: the last one allowed
    bool unpinned = false;
    std::string jsonFile;
    std::string microFile;
};

std::string Beside(const std::string& relative) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? relative : (self.parent_path() / relative).lexically_normal().string();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// "; range <low> - <high>" of rates, for a row's note.
std::string Range(const std::vector<double>& rates) {
    if (rates.empty()) return "";
    const auto [low, high] = std::minmax_element(rates.begin(), rates.end());
    return "; range " + std::to_string(static_cast<long>(*low)) + " - " +
           std::to_string(static_cast<long>(*high));
}

void SetTarget(Report& report, const std::string& key, std::string text, bool met) {
    for (Row& row : report.rows) {
        if (row.key != key) continue;
        row.target = std::move(text);
        row.met = met;
    }
}

void AddFloors(Report& report, const Settings& settings, const Interactive& host,
               const Throughput& throughput) {
    std::cerr << "floor: hand-off\n";
    report.rows.push_back(LatencyRow("echo", "floor: loopback round trip to a process", host.echo));
    report.rows.push_back(LatencyRow("hand-off", "floor: cross-thread hand-off round trip (cv)",
                                     HandOffRoundTrips(settings.samples)));
    Row stream = RateRow("stream", "floor: the burst's lines to a process, counted", "lines/s",
                         Median(throughput.floorRates));
    stream.note = "median of " + std::to_string(throughput.floorRates.size()) + " bursts" +
                  Range(throughput.floorRates);
    report.rows.push_back(std::move(stream));
    report.rows.push_back(LatencyRow("large-reply",
                                     "floor: request -> " + std::to_string(host.effectsReplyBytes) +
                                         " byte reply, from a process",
                                     host.largeReply));
}

void AddHost(Report& report, const Interactive& host, const std::vector<double>& rates,
             int commands) {
    report.rows.push_back(
        LatencyRow("query", "query round trip (GetAfterEffectLanguage)", host.query));
    report.rows.push_back(LatencyRow("script", "script round trip (\"1+1\")", host.script));
    report.rows.push_back(
        LatencyRow("model-script", "script: playhead +1 frame, read a value", host.modelScript));
    report.rows.push_back(LatencyRow(
        "keys-script", "script: selected keys of selected layers, read and set", host.keysScript));
    report.rows.push_back(LatencyRow(
        "ease-script", "script: easy ease on the selected properties' keys", host.easeScript));
    report.rows.push_back(
        LatencyRow("command", "command latency (sent -> AEGP_DoCommand)", host.command));
    Row throughput =
        RateRow("throughput", "command throughput (" + std::to_string(commands) + " pipelined)",
                "cmds/s", Median(rates));
    if (rates.size() > 1)
        throughput.note = "median of " + std::to_string(rates.size()) + " bursts" + Range(rates);
    report.rows.push_back(std::move(throughput));
    Row effects = LatencyRow("effects", "effects query (1,000 effects)", host.effects);
    effects.note = "reply: " + std::to_string(host.effectsReplyBytes) + " bytes";
    report.rows.push_back(std::move(effects));
}

// The live view's cost: bursts on a plain host and on one whose view has a page open and
// receiving events, alternated in this run; the viewed rate relates to the plain one.
void AddView(Report& report, const ViewThroughput& view, int commands) {
    Row plain = RateRow("view-off", "throughput, no live view (" + std::to_string(commands) + ")",
                        "cmds/s", Median(view.plain));
    Row viewed = RateRow("view-on", "throughput, live view with a page reading", "cmds/s",
                         Median(view.viewed));
    std::size_t events = 0;
    for (const auto count : view.events) events += count;
    plain.note = "median of " + std::to_string(view.plain.size()) + " bursts, alternated" +
                 Range(view.plain);
    viewed.note = std::to_string(events / std::max<std::size_t>(1, view.events.size())) +
                  " events to the page per burst" + Range(view.viewed);
    report.rows.push_back(std::move(plain));
    report.rows.push_back(std::move(viewed));
}

// A flood of pipelined commands against the host's own user: the longest console round trip
// made while it ran, and the flood's rate.
void AddFlood(Report& report, const Flood& flood, int commands) {
    Row trips =
        LatencyRow("flood-console", "console trip, flood of " + std::to_string(commands) + " cmds",
                   flood.consoleTrips);
    trips.note = "worst of " + std::to_string(flood.consoleTrips.size()) + " round trips";
    report.rows.push_back(std::move(trips));
    Row rate = RateRow("flood-rate", "command throughput during that flood", "cmds/s",
                       Median(flood.rates));
    rate.note = "median of " + std::to_string(flood.rates.size()) + " floods";
    report.rows.push_back(std::move(rate));
}

// Google Benchmark JSON: "benchmarks": [{"name", "run_type", "cpu_time", "time_unit", ...}],
// one "iteration" entry per repetition: each row is their median, with their range.
void AddMicro(Report& report, const std::string& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read " + file);
    const nlohmann::json doc = nlohmann::json::parse(in);
    std::vector<double> traceNs, splitRates;
    for (const auto& bench : doc.at("benchmarks")) {
        if (bench.value("run_type", "iteration") != "iteration") continue;
        const std::string name = bench.at("name");
        if (name == "BM_TraceSwitchedOff" && bench.value("time_unit", "") == "ns")
            traceNs.push_back(bench.at("cpu_time"));
        else if (name == "BM_SplitFullReceive" && bench.contains("items_per_second"))
            splitRates.push_back(bench.at("items_per_second"));
    }
    const auto repetitions = [](const std::vector<double>& values, int decimals) {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        char text[96];
        std::snprintf(text, sizeof text, "median of %zu repetitions; range %.*f - %.*f",
                      values.size(), decimals, *low, decimals, *high);
        return std::string(text);
    };
    if (!traceNs.empty()) {
        Row row = RateRow("trace_off", "Tracer::TRACE, tracing off", "ns/call", Median(traceNs));
        row.note = repetitions(traceNs, 2);
        report.rows.push_back(std::move(row));
        SetTarget(report, "trace_off", "<= 2 ns per call", Median(traceNs) <= 2.0);
    }
    if (!splitRates.empty()) {
        Row row = RateRow("split_receive", "split a 128 KiB receive into messages", "msgs/s",
                          Median(splitRates));
        row.note = repetitions(splitRates, 0);
        report.rows.push_back(std::move(row));
    }
}

void Judge(Report& report) {
    RelateToFloor(report, "query", "echo");
    RelateToFloor(report, "script", "echo");
    RelateToFloor(report, "model-script", "echo");
    RelateToFloor(report, "keys-script", "echo");
    RelateToFloor(report, "ease-script", "echo");
    RelateToFloor(report, "command", "echo");
    RelateToFloor(report, "throughput", "stream");
    RelateToFloor(report, "effects", "large-reply");
    RelateToFloor(report, "view-on", "view-off");
    const auto ratio = [&](const char* key) { return FindRow(report, key)->ratio.value_or(1e9); };
    SetTarget(report, "query", "p50 <= 1.5x echo", ratio("query") <= 1.5);
    SetTarget(report, "script", "p50 <= 2x echo", ratio("script") <= 2.0);
    SetTarget(report, "command", "p50 <= 100 us",
              FindRow(report, "command")->latency->p50 <= 100.0);
    SetTarget(report, "throughput", ">= 100,000 cmds/s",
              FindRow(report, "throughput")->value >= 100000.0);
    SetTarget(report, "view-on", ">= 0.9x view-off", ratio("view-on") >= 0.9);
}

int Run(const Settings& settings) {
    Report report;
    report.machine = DescribeMachine();
    for (const auto& option : settings.host.extraOptions) report.machine += "; host " + option;
    if (settings.unpinned) {
        report.machine += "; unpinned";
    } else {
        const int cpu = settings.cpu >= 0 ? settings.cpu : LastAllowedCpu();
        PinToCpu(cpu);  // before any thread or child: all of them inherit it
        report.machine += "; every process pinned to CPU " + std::to_string(cpu);
    }
    std::cerr << "host: query, script, effects and their floors (" << settings.samples
              << " samples each, in " << settings.blocks
              << " alternating blocks); command latency\n";
    const Interactive host = MeasureInteractive(settings.host, settings.samples,
                                                settings.effectsSamples, settings.blocks);
    std::cerr << "host: throughput and its floor (" << settings.repeats << " x "
              << settings.commands << " commands, alternated)\n";
    const Throughput throughput =
        MeasureThroughput(settings.host, settings.commands, settings.repeats);
    std::cerr << "host: throughput with and without the live view (" << settings.repeats << " x "
              << settings.commands << " commands each)\n";
    const auto view = MeasureViewThroughput(settings.host, settings.commands, settings.repeats);
    std::cerr << "host: console round trips during a flood (" << settings.repeats << " x "
              << settings.commands << " commands)\n";
    const auto flood = MeasureFlood(settings.host, settings.commands, settings.repeats);
    AddFloors(report, settings, host, throughput);
    AddHost(report, host, throughput.rates, settings.commands);
    AddView(report, view, settings.commands);
    AddFlood(report, flood, settings.commands);
    if (!settings.microFile.empty()) AddMicro(report, settings.microFile);
    Judge(report);

    std::cout << FormatTable(report);
    if (!settings.jsonFile.empty()) {
        std::ofstream(settings.jsonFile) << ToJson(report).dump(2) << "\n";
        std::cout << "\nJSON: " << settings.jsonFile << "\n";
    }
    return 0;
}

}  // namespace
}  // namespace cuebridge_bench

int main(int argc, char** argv) {
    cuebridge_bench::Settings settings;
    settings.host.hostsim = cuebridge_bench::Beside("cuebridge-hostsim");
    settings.host.plugin = cuebridge_bench::Beside("../lib/Cuebridge.so");
    CLI::App app{
        "cuebridge-bench: end-to-end latency and throughput of the plug-in against the machine's "
        "floor"};
    app.add_option("--hostsim", settings.host.hostsim, "the simulated host program")
        ->capture_default_str();
    app.add_option("--plugin", settings.host.plugin, "the plug-in to load")->capture_default_str();
    app.add_option("--samples", settings.samples, "samples per latency figure")
        ->capture_default_str()
        ->check(CLI::Range(1, 10000000));
    app.add_option("--effects-samples", settings.effectsSamples, "samples of the effects query")
        ->capture_default_str()
        ->check(CLI::Range(1, 10000000));
    app.add_option("--commands", settings.commands, "pipelined commands per throughput burst")
        ->capture_default_str()
        ->check(CLI::Range(1, 10000000));
    app.add_option("--repeats", settings.repeats, "throughput bursts")
        ->capture_default_str()
        ->check(CLI::Range(1, 100));
    app.add_option("--blocks", settings.blocks,
                   "alternating blocks the round-trip samples and their floors are taken in")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000));
    app.add_option(
        "--host-option", settings.host.extraOptions,
        "an option passed on to every simulated host, e.g. --host-option=--script-cache=0 "
        "(repeatable)");
    app.add_option("--cpu", settings.cpu, "the CPU to pin every process to (default: the last)");
    app.add_flag("--unpinned", settings.unpinned, "leave the processes where the system puts them");
    app.add_option("--json", settings.jsonFile, "write the results as JSON to this file");
    app.add_option("--micro", settings.microFile,
                   "cuebridge-microbench results (--benchmark_out JSON) to include");
    CLI11_PARSE(app, argc, argv);
    try {
        return cuebridge_bench::Run(settings);
    } catch (const std::exception& e) {
        std::cerr << "cuebridge-bench: " << e.what() << "\n";
        return 1;
    }
}
