// What every class's binding table shares: the values crossing between the engine and the
// model (arguments in, results out, object references as [kind, id]) and the table entry.
// An entry reads its arguments, calls the model and returns what the script sees; the
// host's rules stay in the model. main thread, during a script, under the project's lock.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/ModelError.h"
#include "model/Scene.h"

namespace hostsim {
class ScriptEnvironment;
}

namespace hostsim::bindings {

using model::ModelError;
using model::Scene;

struct Arg {
    enum Type { Undefined, Null, Bool, Number, Text, Numbers, Other } type = Undefined;
    double number = 0;
    std::string text;
    std::vector<double> numbers;
    bool flag = false;
    // Other: the value as the engine's JSON encoding gives it (an object's own enumerable
    // data, arrays with what is not a number in them); null for a function.
    nlohmann::json json;
};

// [kind, id]: "c" composition, "f" footage, "d" folder, "l" layer, "g" property group,
// "e" the effects group or an effect, "p" property, "v" the viewer.
struct Ref {
    char kind;
    double id;
};
struct Undefined {};
struct Null {};
// nlohmann::json: a plain record or list the script half turns into the host's object (a
// KeyframeEase, a MarkerValue, a TextDocument).
using Out = std::variant<Undefined, Null, bool, double, std::string, std::vector<double>, Ref,
                         std::vector<Ref>, nlohmann::json>;

struct Call {
    std::string_view method;  // for the host's wording: "setValue"
    double handle = 0;
    std::vector<Arg> args;

    const Arg& At(std::size_t i) const {
        static const Arg none;
        return i < args.size() ? args[i] : none;
    }
    double Number(std::size_t i) const {
        if (At(i).type != Arg::Number)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a number.");
        return At(i).number;
    }
    double NumberOr(std::size_t i, double fallback) const {
        return At(i).type == Arg::Undefined ? fallback : Number(i);
    }
    int Index(std::size_t i) const {
        const double n = Number(i);
        if (n != std::floor(n) || std::abs(n) > 1e9)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a whole number.");
        return static_cast<int>(n);
    }
    const std::string& Text(std::size_t i) const {
        if (At(i).type != Arg::Text)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a string.");
        return At(i).text;
    }
    model::Value Value(std::size_t i) const {
        if (At(i).type == Arg::Number) return {At(i).number};
        if (At(i).type != Arg::Numbers)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a number or an array of numbers.");
        return At(i).numbers;
    }
    // The value given to an attribute's setter.
    double SetNumber(const char* attribute) const {
        if (At(0).type != Arg::Number || !std::isfinite(At(0).number))
            throw ModelError(std::string("Unable to set \"") + attribute +
                             "\". Value is not a number.");
        return At(0).number;
    }
    bool Flag() const { return At(0).flag; }
    std::int32_t ItemId() const { return static_cast<std::int32_t>(handle); }
    std::uint64_t Handle() const {
        return handle > 0 && handle < 9e15 ? static_cast<std::uint64_t>(handle) : 0;
    }
};

using Op = Out (*)(Scene&, const Call&);
struct OpEntry {
    std::string_view name;  // "<class>.<member>", "<class>.<member>=" for a setter
    Op op;
};

Out ValueOut(const model::Value& v);
Ref ItemRef(const model::Item& item);
Ref NodeRef(const model::Node& node);
Out NodeOrNull(const model::Node* node);
// Argument i as a layer: the script half passes a layer as its handle and anything else as
// null, which is refused with the host's parameter wording.
model::Layer& LayerArg(const Scene& s, const Call& c, std::size_t i);
// The project's items, or only the selected ones, in the host's order.
std::vector<Ref> ItemRefs(const Scene& s, bool selectedOnly);
// The selected properties under a group, depth first.
void SelectedUnder(const model::Node& node, std::vector<Ref>& refs);

// One table per class of the host's object model, each in its own file.
std::span<const OpEntry> AppOps();
std::span<const OpEntry> ViewerOps();
std::span<const OpEntry> ProjectOps();
std::span<const OpEntry> ItemOps();
std::span<const OpEntry> CompItemOps();
std::span<const OpEntry> LayerOps();
std::span<const OpEntry> PropertyBaseOps();
std::span<const OpEntry> PropertyGroupOps();
std::span<const OpEntry> PropertyOps();
std::span<const OpEntry> LayerCollectionOps();
std::span<const OpEntry> TextDocumentOps();

// Compositions', items', the project's and markers' stored values cross as JSON both ways.
nlohmann::json ArgJson(const Arg& arg);  // undefined as null
std::span<const OpEntry> MarkerOps();
// Track mattes, light sources, time remapping, layer space and separated dimensions.
std::span<const OpEntry> LayerSpaceOps();
// Masks, Shape values and mask paths (MaskBindings.cpp).
std::span<const OpEntry> MaskOps();

// The script environment's table (EnvironmentBindings.cpp): model-free operations on the
// host's ScriptEnvironment, run without the project's lock; and isValid's, on the model.
using EnvOp = Out (*)(ScriptEnvironment&, const Call&);
struct EnvOpEntry {
    std::string_view name;
    EnvOp op;
};
std::span<const EnvOpEntry> EnvironmentOps();
std::span<const OpEntry> GlobalOps();
// Footage, proxies, guides, a composition's copy, layers of items (FootageBindings.cpp); and
// the environment's reading of a footage file.
std::span<const OpEntry> FootageOps();
std::span<const EnvOpEntry> FootageFileOps();

}  // namespace hostsim::bindings
