#include "ModelError.h"

#include <cmath>
#include <cstdio>

namespace hostsim::model {

std::string FormatNumber(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

void ThrowParameterRange(const std::string& method, int parameter, double value, double min,
                         double max) {
    ThrowParameter(method, parameter,
                   "Value " + FormatNumber(value) + " out of range " + FormatNumber(min) + " to " +
                       FormatNumber(max) + ".");
}

void ThrowParameter(const std::string& method, int parameter, const std::string& problem) {
    throw ModelError("Unable to call \"" + method + "\" because of parameter " +
                     std::to_string(parameter) + ". " + problem);
}

void ThrowAttributeRange(const std::string& attribute, double value, double min, double max) {
    throw ModelError("Unable to set \"" + attribute + "\". Value " + FormatNumber(value) +
                     " out of range " + FormatNumber(min) + " to " + FormatNumber(max) + ".");
}

void ThrowCall(const std::string& method, const std::string& reason) {
    throw ModelError("Unable to call \"" + method + "\" because " + reason + ".");
}

void ThrowInvalid() { throw ModelError("Object is invalid"); }

}  // namespace hostsim::model
