// The host's script errors as the model raises them: the message is the host's own wording,
// which reaches the script as an Error. Pure functions; any thread.
#pragma once

#include <stdexcept>
#include <string>

namespace hostsim::model {

struct ModelError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A number as the host prints it in messages: "150", "0.5", "-3".
std::string FormatNumber(double value);

// Unable to call "setValue" because of parameter 1. Value 150 out of range 0 to 100.
[[noreturn]] void ThrowParameterRange(const std::string& method, int parameter, double value,
                                      double min, double max);
// Unable to call "setValue" because of parameter 1. <problem>
[[noreturn]] void ThrowParameter(const std::string& method, int parameter,
                                 const std::string& problem);
// Unable to set "time". Value 15 out of range 0 to 10.
[[noreturn]] void ThrowAttributeRange(const std::string& attribute, double value, double min,
                                      double max);
// Unable to call "<method>" because <reason>.
[[noreturn]] void ThrowCall(const std::string& method, const std::string& reason);
// A reference to something removed, or invalidated by a change to its siblings.
[[noreturn]] void ThrowInvalid();

}  // namespace hostsim::model
