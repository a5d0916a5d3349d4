#include "Stats.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <sstream>
#include <thread>

namespace cuebridge_bench {

double Percentile(const std::vector<double>& sorted, double percent) {
    if (sorted.empty()) return 0;
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(sorted.size()));
    const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

Summary Summarize(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    summary.count = samples.size();
    summary.p50 = Percentile(samples, 50);
    summary.p99 = Percentile(samples, 99);
    summary.max = samples.back();
    summary.mean =
        std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    return summary;
}

Row LatencyRow(std::string key, std::string name, const std::vector<double>& samplesUs) {
    Row row;
    row.key = std::move(key);
    row.name = std::move(name);
    row.unit = "us";
    row.latency = Summarize(samplesUs);
    return row;
}

Row RateRow(std::string key, std::string name, std::string unit, double value) {
    Row row;
    row.key = std::move(key);
    row.name = std::move(name);
    row.unit = std::move(unit);
    row.value = value;
    return row;
}

const Row* FindRow(const Report& report, const std::string& key) {
    for (const Row& row : report.rows)
        if (row.key == key) return &row;
    return nullptr;
}

namespace {

double Headline(const Row& row) { return row.latency ? row.latency->p50 : row.value; }

std::string Micros(double us) {
    char text[32];
    if (us >= 10000) {
        std::snprintf(text, sizeof text, "%.1f ms", us / 1000);
    } else if (us >= 100) {
        std::snprintf(text, sizeof text, "%.0f us", us);
    } else {
        std::snprintf(text, sizeof text, "%.1f us", us);
    }
    return text;
}

// 1234567.8 -> "1,234,568"; small values keep two decimals (1.734 -> "1.73").
std::string Grouped(double value) {
    if (std::fabs(value) < 100) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", value);
        return text;
    }
    std::string digits = std::to_string(static_cast<long long>(std::llround(value)));
    const std::size_t first = digits[0] == '-' ? 1 : 0;
    for (std::size_t i = digits.size(); i > first + 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}

std::string Pad(std::string text, std::size_t width, bool right) {
    // Widths count characters, not bytes: the table uses a few multi-byte symbols.
    std::size_t shown = 0;
    for (unsigned char c : text) shown += (c & 0xC0) != 0x80;
    if (shown >= width) return text;
    const std::string fill(width - shown, ' ');
    return right ? fill + text : text + fill;
}

std::string RatioText(const Row& row) {
    if (!row.ratio) return "";
    char text[48];
    std::snprintf(text, sizeof text, "%.3gx %s", *row.ratio, row.floor.c_str());
    return text;
}

}  // namespace

void RelateToFloor(Report& report, const std::string& key, const std::string& floorKey) {
    const Row* floor = FindRow(report, floorKey);
    for (Row& row : report.rows) {
        if (row.key != key || floor == nullptr || Headline(*floor) <= 0) continue;
        row.floor = floorKey;
        row.ratio = Headline(row) / Headline(*floor);
    }
}

std::string FormatTable(const Report& report) {
    std::ostringstream out;
    out << "Machine: " << report.machine << "\n\n";
    const std::size_t nameWidth = 46;
    out << Pad("measurement", nameWidth, false) << Pad("n", 7, true) << Pad("p50", 11, true)
        << Pad("p99", 11, true) << Pad("max", 11, true) << "   " << Pad("vs floor", 18, false)
        << Pad("target", 20, false) << "met\n";
    out << std::string(nameWidth + 7 + 33 + 3 + 18 + 20 + 3, '-') << "\n";
    for (const Row& row : report.rows) {
        out << Pad(row.name, nameWidth, false);
        if (row.latency) {
            out << Pad(std::to_string(row.latency->count), 7, true)
                << Pad(Micros(row.latency->p50), 11, true)
                << Pad(Micros(row.latency->p99), 11, true)
                << Pad(Micros(row.latency->max), 11, true);
        } else {
            out << Pad("", 7, true) << Pad(Grouped(row.value) + " " + row.unit, 33, true);
        }
        out << "   " << Pad(RatioText(row), 18, false) << Pad(row.target, 20, false);
        if (row.met) out << (*row.met ? "yes" : "NO");
        out << "\n";
        if (!row.note.empty()) out << "    " << row.note << "\n";
    }
    return out.str();
}

nlohmann::json ToJson(const Report& report) {
    nlohmann::json rows = nlohmann::json::array();
    for (const Row& row : report.rows) {
        nlohmann::json item = {{"key", row.key}, {"name", row.name}, {"unit", row.unit}};
        if (row.latency) {
            item["samples"] = row.latency->count;
            item["p50"] = row.latency->p50;
            item["p99"] = row.latency->p99;
            item["max"] = row.latency->max;
            item["mean"] = row.latency->mean;
        } else {
            item["value"] = row.value;
        }
        if (row.ratio) {
            item["floor"] = row.floor;
            item["ratio_to_floor"] = *row.ratio;
        }
        if (!row.target.empty()) item["target"] = row.target;
        if (row.met) item["met"] = *row.met;
        if (!row.note.empty()) item["note"] = row.note;
        rows.push_back(std::move(item));
    }
    return {{"machine", report.machine}, {"rows", std::move(rows)}};
}

std::string DescribeMachine() {
    std::string model = "unknown CPU";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon != std::string::npos) model = line.substr(line.find_first_not_of(' ', colon + 1));
        break;
    }
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return std::to_string(cores) + " cores, " + model;
}

}  // namespace cuebridge_bench
