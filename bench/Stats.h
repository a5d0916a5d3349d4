// Sample statistics and the benchmark report: percentiles of latency samples, one row
// per measurement with its ratio to a floor measured in the same run, and the two
// renderings of a report (a text table and JSON). Pure functions; any thread.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace cuebridge_bench {

// Nearest-rank percentiles of a set of samples (any unit). Empty input: all zero.
struct Summary {
    std::size_t count = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    double mean = 0;
};
Summary Summarize(std::vector<double> samples);
// The value below which `percent` of the sorted samples lie (nearest rank, 1-based).
double Percentile(const std::vector<double>& sorted, double percent);

// One line of the report. Latency rows carry a summary in microseconds; rate rows a
// single value (unit given). `floor` names the floor row the ratio refers to.
struct Row {
    std::string key;  // stable identifier for the JSON output
    std::string name;
    std::string unit;  // "us" for latency rows, else the rate's unit
    std::optional<Summary> latency;
    double value = 0;  // rate rows: the measured rate
    std::string floor;
    std::optional<double> ratio;  // measured / floor (p50 for latency)
    std::string target;           // human text; empty when none
    std::optional<bool> met;
    std::string note;
};

struct Report {
    std::string machine;  // "<n> cores, <cpu model>"
    std::vector<Row> rows;
};

// A latency row; ratio and target are filled in by the caller.
Row LatencyRow(std::string key, std::string name, const std::vector<double>& samplesUs);
Row RateRow(std::string key, std::string name, std::string unit, double value);

const Row* FindRow(const Report& report, const std::string& key);
// Sets row.ratio to its p50 (or value) divided by the floor row's, when both exist.
void RelateToFloor(Report& report, const std::string& key, const std::string& floorKey);

std::string FormatTable(const Report& report);
nlohmann::json ToJson(const Report& report);

// "<nproc> cores, <model name from /proc/cpuinfo>".
std::string DescribeMachine();

}  // namespace cuebridge_bench
