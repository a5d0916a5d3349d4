// A Shape: the value of a mask's path. Its vertices, the tangents relative to each vertex,
// whether it is closed, and its variable-width feather points (one entry per point in each
// feather array, in the order the points were made). Plain values; any thread.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace hostsim::model {

using Point2 = std::array<double, 2>;

struct Shape {
    std::vector<Point2> vertices, inTangents, outTangents;
    bool closed = true;
    std::vector<double> featherSegLocs, featherRelSegLocs, featherRadii, featherInterps,
        featherTensions, featherTypes, featherRelCornerAngles;

    bool operator==(const Shape&) const = default;

    // {"vertices": [[x, y], ...], ..., "closed": true, "featherSegLocs": [...], ...}
    nlohmann::json ToJson() const;
    // One attribute as a script writes it on a Shape object, checked for its type and range
    // with the host's wording ("Unable to set "vertices". ..."); returns the value as stored.
    // Tangents may be null (none given: each [0, 0]).
    static nlohmann::json CheckedAttribute(const std::string& name, const nlohmann::json& v);
    // A whole shape as a script passes it to a property (its record), checked as a value of
    // `method`'s `parameter`: every attribute as above, tangents as many as the vertices (or
    // none: [0, 0] each), every feather array as long as featherSegLocs (or empty: filled
    // with its default), feather points only on a closed shape, each on one of its segments,
    // an inner point's radius not positive and an outer one's not negative.
    static Shape Checked(const nlohmann::json& record, const std::string& method, int parameter);
};

// The shape a fraction f (0 to 1) of the way from a to b: every vertex, tangent and feather
// number moved in a straight line; whether it is closed and each feather point's segment,
// interpolation and type are a's. Throws "not modelled" when the two have different numbers
// of vertices or feather points (the host then adds vertices by rules of its own).
Shape Interpolate(const Shape& a, const Shape& b, double f);

}  // namespace hostsim::model
