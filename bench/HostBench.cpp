#include "HostBench.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>

#include "Floor.h"
#include "HostProcess.h"
#include "Protocol.h"
#include "StampReader.h"
#include "ViewReader.h"
#include "Wire.h"

namespace cuebridge_bench {
namespace {

using hostsim::HostProcess;
namespace Protocol = Cuebridge::Protocol;

constexpr const char* kLongIdleIntervalMs = "600000";  // only requested idle calls run
constexpr int kWarmup = 200;
// Each command sample starts on an idle host: the previous idle call has ended.
constexpr auto kCommandSpacing = std::chrono::microseconds(200);

double MicrosSince(std::int64_t startNs) {
    return static_cast<double>(MonotonicNanos() - startNs) / 1000.0;
}

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

// The controller's connection to a freshly started host.
Wire ConnectController(const HostProcess& host) {
    const auto port = host.WaitForPort();
    if (!port) Fail("the plug-in published no port; host stderr:\n" + host.Stderr());
    Wire wire;
    if (!wire.Connect(*port))
        Fail("cannot connect to the plug-in on port " + std::to_string(*port));
    return wire;
}

// The reply to one line, read until the connection stays quiet: learns what the timed
// rounds must then read exactly.
std::string LearnReply(Wire& wire, const std::string& line) {
    if (!wire.SendAll(line)) Fail("send failed");
    return wire.ReadQuiet(20s, 100ms);
}

// Timed request/reply rounds whose reply must equal `expected` byte for byte, appended.
void RoundTrips(Wire& wire, const std::string& line, const std::string& expected, int samples,
                std::vector<double>& trips) {
    for (int i = 0; i < samples; ++i) {
        const auto start = MonotonicNanos();
        if (!wire.SendAll(line)) Fail("send failed");
        const std::string reply = wire.ReadExactly(expected.size());
        const double micros = MicrosSince(start);
        if (reply != expected) Fail("unexpected reply to " + line + ": " + reply.substr(0, 200));
        trips.push_back(micros);
    }
}

// The share of `total` samples that block `block` of `blocks` takes.
int BlockShare(int total, int block, int blocks) {
    return total / blocks + (block < total % blocks ? 1 : 0);
}

void Append(std::vector<double>& to, const std::vector<double>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

std::size_t CountRecords(const std::string& list) {
    return Cuebridge::Protocol::SplitEffects(list).size();
}

// The effects list is stored by the plug-in's start-up job; ask until it is complete.
std::string WaitForEffectsReply(Wire& wire, const std::string& line, int effects) {
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < until) {
        std::string reply = LearnReply(wire, line);
        if (CountRecords(reply) == static_cast<std::size_t>(effects)) return reply;
        std::this_thread::sleep_for(20ms);
    }
    Fail("the plug-in never answered with the " + std::to_string(effects) + " installed effects");
}

std::vector<double> CommandLatencies(Wire& wire, StampReader& stamps, int samples) {
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(samples));
    for (int i = 0; i < kWarmup + samples; ++i) {
        const long command = 10000 + i;  // a number per sample: stamps cannot be mixed up
        const std::string line =
            Protocol::FormatRequest("c", Protocol::kExecuteCommand, std::to_string(command));
        std::this_thread::sleep_for(kCommandSpacing);
        const auto sent = MonotonicNanos();
        if (!wire.SendAll(line)) Fail("send failed");
        const double micros = static_cast<double>(stamps.WaitFor(command) - sent) / 1000.0;
        if (i >= kWarmup) latencies.push_back(micros);
    }
    return latencies;
}

std::size_t CommandsRunByPlugin(HostProcess& host) {
    const nlohmann::json answer = host.Ask("state", 60s);
    if (!answer.is_object() || !answer.value("ok", false))
        Fail("the host console did not answer \"state\"");
    const auto& runs = answer["state"]["commands_run"];
    return static_cast<std::size_t>(std::count_if(
        runs.begin(), runs.end(),
        [](const nlohmann::json& run) { return run.value("source", "") == "plugin"; }));
}

std::vector<std::string> HostArgs(const HostSetup& setup, const std::string& effectsFile) {
    std::vector<std::string> args = {"--plugin",          setup.plugin, "--idle-interval-ms",
                                     kLongIdleIntervalMs, "--effects",  effectsFile};
    args.insert(args.end(), setup.extraOptions.begin(), setup.extraOptions.end());
    return args;
}

// A throw-away folder for one measurement's host files, removed when it ends.
struct WorkDir {
    std::string path = hostsim::MakeTempDir("cuebridge-bench-");
    ~WorkDir() { hostsim::RemoveTree(path); }
};

// One host ready for throughput bursts: started with the given extra options, connected,
// and its closing script answered once.
class BurstTarget {
public:
    BurstTarget(const HostSetup& setup, const std::vector<std::string>& extra, int commands)
        : host_(Start(setup, extra)), wire_(ConnectController(host_)) {
        for (int i = 0; i < commands; ++i)
            burst_ += Protocol::FormatRequest(std::to_string(i), Protocol::kExecuteCommand,
                                              std::to_string(3000 + i % 1000));
        burst_ += Sentinel();
        if (LearnReply(wire_, Sentinel()) != "z|2") Fail("the closing script is not answered");
    }
    const std::string& BurstBytes() const { return burst_; }
    // One burst; commands per second.
    double Burst(int commands) {
        const auto start = MonotonicNanos();
        if (!wire_.SendAll(burst_)) Fail("send failed");
        if (wire_.ReadExactly(3) != "z|2") Fail("the closing script of a burst was not answered");
        ++bursts_;
        return commands / (static_cast<double>(MonotonicNanos() - start) / 1e9);
    }
    // Checks with the host that every command of every burst ran, then ends it.
    void CheckAndQuit(int commands) {
        const std::size_t ran = CommandsRunByPlugin(host_);
        const std::size_t sent = static_cast<std::size_t>(commands) * bursts_;
        if (ran != sent)
            Fail("the host ran " + std::to_string(ran) + " of " + std::to_string(sent) +
                 " commands");
        host_.Quit();
    }
    HostProcess& Host() { return host_; }

private:
    static std::string Sentinel() { return Protocol::FormatRequest("z", Protocol::kScript, "1+1"); }
    HostProcess Start(const HostSetup& setup, const std::vector<std::string>& extra) {
        WriteEffectsFile(workDir_.path + "/effects.json", setup.effects);
        auto args = HostArgs(setup, workDir_.path + "/effects.json");
        args.insert(args.end(), extra.begin(), extra.end());
        return HostProcess(setup.hostsim, args);
    }
    WorkDir workDir_;
    HostProcess host_;
    Wire wire_;
    std::string burst_;
    std::size_t bursts_ = 0;
};

}  // namespace

void WriteEffectsFile(const std::string& path, int count) {
    static const char* const kCategories[] = {"Blur & Sharpen", "Channel",  "Color Correction",
                                              "Distort",        "Generate", "Keying",
                                              "Noise & Grain",  "Stylize"};
    nlohmann::json effects = nlohmann::json::array();
    for (int i = 0; i < count; ++i) {
        const std::string number = std::to_string(i + 1);
        effects.push_back({{"matchName", "CBX Effect Match " + number},
                           {"displayName", "Effect Number " + number},
                           {"category", kCategories[i % 8]}});
    }
    std::ofstream(path) << effects.dump();
}

Interactive MeasureInteractive(const HostSetup& setup, int samples, int effectsSamples,
                               int blocks) {
    const WorkDir workDir;
    const std::string& work = workDir.path;
    WriteEffectsFile(work + "/effects.json", setup.effects);
    StampReader stamps(work + "/stamps");
    auto args = HostArgs(setup, work + "/effects.json");
    args.insert(args.end(), {"--stamp-commands", work + "/stamps"});
    HostProcess host(setup.hostsim, args);
    Wire wire = ConnectController(host);

    Interactive result;
    const std::string effectsLine = Protocol::FormatRequest("e", Protocol::kGetInstalledEffects);
    const std::string effectsReply = WaitForEffectsReply(wire, effectsLine, setup.effects);
    result.effectsReplyBytes = effectsReply.size();

    const std::string queryLine = Protocol::FormatRequest("q", Protocol::kGetLanguage);
    result.queryReply = LearnReply(wire, queryLine);
    const std::string scriptLine = Protocol::FormatRequest("s", Protocol::kScript, "1+1");
    result.scriptReply = LearnReply(wire, scriptLine);
    if (result.scriptReply != "s|2")
        Fail("the script \"1+1\" was answered with " + result.scriptReply);

    const std::string modelLine = Protocol::FormatRequest("m", Protocol::kScript, kModelScript);
    const std::string modelReply = LearnReply(wire, modelLine);
    if (modelReply != "m|100") Fail("the model script was answered with " + modelReply);
    const std::string selectLine =
        Protocol::FormatRequest("k", Protocol::kScript, kSelectKeyedProperties);
    if (const std::string ready = LearnReply(wire, selectLine); ready != "k|ready")
        Fail("the script selecting keyed properties was answered with " + ready);
    const std::string keysLine =
        Protocol::FormatRequest("k", Protocol::kScript, kSelectedKeysScript);
    const std::string keysReply = LearnReply(wire, keysLine);
    if (keysReply != "k|4") Fail("the selected keys script was answered with " + keysReply);
    const std::string easeLine = Protocol::FormatRequest("k", Protocol::kScript, kEaseScript);
    const std::string easeReply = LearnReply(wire, easeLine);
    if (easeReply != "k|4") Fail("the ease script was answered with " + easeReply);

    // The floors answer the same requests with as many bytes as the plug-in does.
    FloorPeer echo(result.queryReply.size());
    FloorPeer large(effectsReply.size());
    std::vector<double> warm;
    echo.Trips(queryLine, kWarmup);
    large.Trips(effectsLine, kWarmup);
    RoundTrips(wire, queryLine, result.queryReply, kWarmup, warm);
    RoundTrips(wire, scriptLine, result.scriptReply, kWarmup, warm);
    RoundTrips(wire, modelLine, modelReply, kWarmup, warm);
    RoundTrips(wire, keysLine, keysReply, kWarmup, warm);
    RoundTrips(wire, easeLine, easeReply, kWarmup, warm);
    RoundTrips(wire, effectsLine, effectsReply, kWarmup, warm);
    for (int block = 0; block < blocks; ++block) {
        const int n = BlockShare(samples, block, blocks);
        const int effectsN = BlockShare(effectsSamples, block, blocks);
        Append(result.echo, echo.Trips(queryLine, n));
        RoundTrips(wire, queryLine, result.queryReply, n, result.query);
        RoundTrips(wire, scriptLine, result.scriptReply, n, result.script);
        RoundTrips(wire, modelLine, modelReply, n, result.modelScript);
        RoundTrips(wire, keysLine, keysReply, n, result.keysScript);
        RoundTrips(wire, easeLine, easeReply, n, result.easeScript);
        Append(result.largeReply, large.Trips(effectsLine, effectsN));
        RoundTrips(wire, effectsLine, effectsReply, effectsN, result.effects);
    }
    result.command = CommandLatencies(wire, stamps, samples);
    host.Quit();
    return result;
}

Throughput MeasureThroughput(const HostSetup& setup, int commands, int repeats) {
    BurstTarget target(setup, {}, commands);
    FloorPeer stream(3, commands + 1);  // "z|2" after the burst's last line
    Throughput result;
    for (int round = 0; round < repeats; ++round) {
        result.floorRates.push_back(commands / (stream.Trip(target.BurstBytes()) / 1e6));
        result.rates.push_back(target.Burst(commands));
    }
    target.CheckAndQuit(commands);
    return result;
}

Flood MeasureFlood(const HostSetup& setup, int commands, int repeats) {
    BurstTarget target(setup, {}, commands);
    Flood result;
    for (int round = 0; round < repeats; ++round) {
        std::atomic<bool> done{false};
        std::thread flood([&] {
            result.rates.push_back(target.Burst(commands));
            done = true;
        });
        while (!done) {
            const auto start = MonotonicNanos();
            const nlohmann::json answer = target.Host().Ask("script 1");
            if (!answer.is_object() || !answer.value("ok", false)) {
                flood.join();
                Fail("the host console did not answer during a flood");
            }
            result.consoleTrips.push_back(MicrosSince(start));
        }
        flood.join();
    }
    target.CheckAndQuit(commands);
    return result;
}

ViewThroughput MeasureViewThroughput(const HostSetup& setup, int commands, int repeats) {
    BurstTarget plain(setup, {}, commands);
    BurstTarget viewed(setup, {"--ui", "0"}, commands);
    ViewReader page(viewed.Host());
    ViewThroughput result;
    // Alternate the two hosts, so that both see the same machine load.
    for (int round = 0; round < repeats; ++round) {
        result.plain.push_back(plain.Burst(commands));
        const auto before = page.Events();
        result.viewed.push_back(viewed.Burst(commands));
        result.events.push_back(page.Events() - before);
    }
    plain.CheckAndQuit(commands);
    page.Close();
    viewed.CheckAndQuit(commands);
    return result;
}

}  // namespace cuebridge_bench
