#include "Ease.h"

#include <cmath>

#include "ModelError.h"

namespace hostsim::model {
namespace {

double Bezier(double p0, double p1, double p2, double p3, double s) {
    const double r = 1 - s;
    return r * r * r * p0 + 3 * r * r * s * p1 + 3 * r * s * s * p2 + s * s * s * p3;
}

}  // namespace

const char* InterpolationName(Interpolation type) {
    switch (type) {
        case Interpolation::Linear:
            return "LINEAR";
        case Interpolation::Bezier:
            return "BEZIER";
        case Interpolation::Hold:
            return "HOLD";
    }
    return "LINEAR";
}

std::optional<Interpolation> ParseInterpolation(const std::string& name) {
    for (auto type : {Interpolation::Linear, Interpolation::Bezier, Interpolation::Hold})
        if (name == InterpolationName(type)) return type;
    return std::nullopt;
}

Ease CheckedEase(const std::string& method, int parameter, double speed, double influence) {
    if (!std::isfinite(speed) || !std::isfinite(influence))
        ThrowParameter(method, parameter, "Value is not a finite number.");
    if (influence < 0.1 || influence > 100)
        ThrowParameterRange(method, parameter, influence, 0.1, 100);
    return {speed, influence};
}

double EasedValue(double t0, double v0, double t1, double v1, const Ease& out, const Ease& in,
                  double t) {
    const double d = t1 - t0;
    const double a = out.influence / 100;
    const double b = in.influence / 100;
    const double x1 = t0 + d * a, x2 = t1 - d * b;
    const double y1 = v0 + out.speed * d * a, y2 = v1 - in.speed * d * b;
    double lo = 0, hi = 1;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (Bezier(t0, x1, x2, t1, mid) < t ? lo : hi) = mid;
    }
    return Bezier(v0, y1, y2, v1, (lo + hi) / 2);
}

}  // namespace hostsim::model
