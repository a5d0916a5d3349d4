#include "Shape.h"

#include <cmath>
#include <limits>

#include "ModelError.h"

namespace hostsim::model {
namespace {

using nlohmann::json;
using Points = std::vector<Point2> Shape::*;
using Numbers = std::vector<double> Shape::*;

const struct {
    const char* name;
    Points field;
} kPointFields[] = {
    {"vertices", &Shape::vertices},
    {"inTangents", &Shape::inTangents},
    {"outTangents", &Shape::outTangents},
};

// Each feather array with the values its entries take and the default of an entry left out.
const struct {
    const char* name;
    Numbers field;
    double min, max;
    bool whole;
    double fallback;
} kFeatherFields[] = {
    {"featherSegLocs", &Shape::featherSegLocs, 0, 1e9, true, 0},
    {"featherRelSegLocs", &Shape::featherRelSegLocs, 0, 1, false, 0},
    {"featherRadii", &Shape::featherRadii, -std::numeric_limits<double>::infinity(),
     std::numeric_limits<double>::infinity(), false, 0},
    {"featherInterps", &Shape::featherInterps, 0, 1, true, 0},
    {"featherTensions", &Shape::featherTensions, 0, 1, false, 0},
    {"featherTypes", &Shape::featherTypes, 0, 1, true, 0},
    {"featherRelCornerAngles", &Shape::featherRelCornerAngles, 0, 100, false, 0},
};

[[noreturn]] void Refuse(const std::string& method, int parameter, const std::string& name,
                         const std::string& problem) {
    if (method.empty()) throw ModelError("Unable to set \"" + name + "\". " + problem);
    ThrowParameter(method, parameter, "\"" + name + "\": " + problem);
}

std::vector<Point2> PointsOf(const std::string& name, const json& v, const std::string& method,
                             int parameter) {
    std::vector<Point2> out;
    if (v.is_null() && name != "vertices") return out;
    if (!v.is_array()) Refuse(method, parameter, name, "Value is not an array of [x, y] pairs.");
    for (const auto& p : v) {
        if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number() ||
            !std::isfinite(p[0].get<double>()) || !std::isfinite(p[1].get<double>()))
            Refuse(method, parameter, name, "Value is not an array of [x, y] pairs.");
        out.push_back({p[0].get<double>(), p[1].get<double>()});
    }
    return out;
}

template <typename Rule>
std::vector<double> NumbersOf(const Rule& rule, const json& v, const std::string& method,
                              int parameter) {
    std::vector<double> out;
    if (!v.is_array()) Refuse(method, parameter, rule.name, "Value is not an array of numbers.");
    for (const auto& n : v) {
        if (!n.is_number() || !std::isfinite(n.get<double>()))
            Refuse(method, parameter, rule.name, "Value is not an array of numbers.");
        const double x = n.get<double>();
        if (rule.whole && x != std::floor(x))
            Refuse(method, parameter, rule.name, "Value " + FormatNumber(x) + " is not whole.");
        if (x < rule.min || x > rule.max)
            Refuse(method, parameter, rule.name,
                   "Value " + FormatNumber(x) + " out of range " + FormatNumber(rule.min) + " to " +
                       FormatNumber(rule.max) + ".");
        out.push_back(x);
    }
    return out;
}

json PointsJson(const std::vector<Point2>& points) {
    json out = json::array();
    for (const auto& p : points) out.push_back({p[0], p[1]});
    return out;
}

}  // namespace

json Shape::ToJson() const {
    json out = {{"closed", closed}};
    for (const auto& f : kPointFields) out[f.name] = PointsJson(this->*f.field);
    for (const auto& f : kFeatherFields) out[f.name] = this->*f.field;
    return out;
}

json Shape::CheckedAttribute(const std::string& name, const json& v) {
    if (name == "closed") {
        if (!v.is_boolean()) Refuse("", 0, name, "Value is not a boolean.");
        return v;
    }
    for (const auto& f : kPointFields)
        if (name == f.name) return PointsJson(PointsOf(name, v, "", 0));
    for (const auto& f : kFeatherFields)
        if (name == f.name) return NumbersOf(f, v, "", 0);
    Refuse("", 0, name, "It is not an attribute of a Shape.");
}

Shape Shape::Checked(const json& record, const std::string& method, int parameter) {
    if (!record.is_object()) ThrowParameter(method, parameter, "Value is not a Shape.");
    Shape s;
    const auto at = [&](const char* name) { return record.value(name, json()); };
    if (record.contains("closed")) {
        if (!record["closed"].is_boolean())
            Refuse(method, parameter, "closed", "Value is not a boolean.");
        s.closed = record["closed"].get<bool>();
    }
    for (const auto& f : kPointFields)
        s.*f.field = f.field == &Shape::vertices && at(f.name).is_null()
                         ? std::vector<Point2>{}
                         : PointsOf(f.name, at(f.name), method, parameter);
    const std::size_t n = s.vertices.size();
    for (Points f : {&Shape::inTangents, &Shape::outTangents}) {
        if ((s.*f).empty()) (s.*f).assign(n, {0, 0});
        if ((s.*f).size() != n)
            Refuse(
                method, parameter, f == &Shape::inTangents ? "inTangents" : "outTangents",
                "Array of " + std::to_string(n) + " tangents expected, as many as the vertices.");
    }
    for (const auto& f : kFeatherFields)
        s.*f.field = at(f.name).is_null() ? std::vector<double>{}
                                          : NumbersOf(f, at(f.name), method, parameter);
    const std::size_t points = s.featherSegLocs.size();
    const bool typesGiven = !s.featherTypes.empty();
    for (const auto& f : kFeatherFields) {
        auto& values = s.*f.field;
        if (values.empty()) values.assign(points, f.fallback);
        if (values.size() != points)
            Refuse(method, parameter, f.name,
                   "Array of " + std::to_string(points) +
                       " numbers expected, one for each feather point.");
    }
    if (points > 0 && !s.closed)
        Refuse(method, parameter, "featherSegLocs", "Feather points need a closed shape.");
    for (std::size_t k = 0; k < points; ++k) {
        if (s.featherSegLocs[k] >= static_cast<double>(n))
            Refuse(method, parameter, "featherSegLocs",
                   "Value " + FormatNumber(s.featherSegLocs[k]) + " out of range 0 to " +
                       FormatNumber(static_cast<double>(n) - 1) + ".");
        // An inner point's radius is negative: the type follows the radius when not given.
        const bool inner = s.featherRadii[k] < 0;
        if (!typesGiven) s.featherTypes[k] = inner ? 1 : 0;
        if ((s.featherTypes[k] == 1) != inner && s.featherRadii[k] != 0)
            Refuse(method, parameter, "featherRadii",
                   "Value " + FormatNumber(s.featherRadii[k]) + " does not suit an " +
                       (inner ? "outer" : "inner") + " feather point.");
    }
    return s;
}

Shape Interpolate(const Shape& a, const Shape& b, double f) {
    if (a.vertices.size() != b.vertices.size() ||
        a.featherSegLocs.size() != b.featherSegLocs.size())
        throw ModelError(
            "\"value\" is not modelled by the simulated host between shape keys with different "
            "numbers of vertices or feather points");
    Shape s = a;
    const auto mix = [f](double x, double y) { return x + (y - x) * f; };
    for (const auto& field : kPointFields)
        for (std::size_t i = 0; i < (s.*field.field).size(); ++i)
            for (int d = 0; d < 2; ++d)
                (s.*field.field)[i][d] = mix((a.*field.field)[i][d], (b.*field.field)[i][d]);
    for (Numbers field : {&Shape::featherRelSegLocs, &Shape::featherRadii, &Shape::featherTensions,
                          &Shape::featherRelCornerAngles})
        for (std::size_t i = 0; i < (s.*field).size(); ++i)
            (s.*field)[i] = mix((a.*field)[i], (b.*field)[i]);
    return s;
}

}  // namespace hostsim::model
