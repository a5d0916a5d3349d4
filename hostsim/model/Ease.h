// How a keyframe leaves and enters its segments: the interpolation type of each side and its
// temporal ease (speed and influence, as the host's Keyframe Velocity dialog shows them), and
// the curve between two keys that follows from them. Pure functions; any thread.
#pragma once

#include <optional>
#include <string>

namespace hostsim::model {

enum class Interpolation { Linear, Bezier, Hold };

// "LINEAR", "BEZIER", "HOLD"; nullopt for any other name.
const char* InterpolationName(Interpolation type);
std::optional<Interpolation> ParseInterpolation(const std::string& name);

// The influence a new key has on both sides, in percent of the segment's duration.
constexpr double kDefaultInfluence = 100.0 / 6;

struct Ease {
    double speed = 0;                      // value units per second (for a path: along it)
    double influence = kDefaultInfluence;  // percent of the segment's duration, 0.1 to 100
    bool operator==(const Ease&) const = default;
};

// An ease as the host takes it: speed finite, influence within 0.1 to 100; otherwise the
// host's parameter wording naming `method` and the parameter that carried it.
Ease CheckedEase(const std::string& method, int parameter, double speed, double influence);

// The value at time t (t0 < t < t1) of the segment from (t0, v0) to (t1, v1) whose start
// leaves with `out` and whose end arrives with `in`: a cubic Bezier curve in (time, value)
// with control points (t0, v0), (t0 + d·a, v0 + out.speed·d·a), (t1 − d·b, v1 − in.speed·d·b)
// and (t1, v1), where d = t1 − t0, a = out.influence / 100 and b = in.influence / 100. Its
// time is monotonic in the curve's parameter for any influences in (0, 100], so the
// parameter at t is found by bisection.
double EasedValue(double t0, double v0, double t1, double v1, const Ease& out, const Ease& in,
                  double t);

}  // namespace hostsim::model
