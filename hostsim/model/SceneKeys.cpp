// The Scene's changes to a key's interpolation, ease and state, to values at keys, and to
// expressions: each checks through the Property, then notes one Change. Main thread or under
// the Scene's owner's lock.
#include "Scene.h"

namespace hostsim::model {
namespace {

nlohmann::json EaseJson(const std::vector<Ease>& eases) {
    auto out = nlohmann::json::array();
    for (const Ease& e : eases) out.push_back({e.speed, e.influence});
    return out;
}

nlohmann::json ValueJson(const Value& v) {
    return v.size() == 1 ? nlohmann::json(v[0]) : nlohmann::json(v);
}

// The record of a change to key `index` of p, as it is after the change.
nlohmann::json KeyRecord(nlohmann::json where, const char* change, const Property& p, int index) {
    where["change"] = change;
    where["key"] = index;
    where["time"] = p.KeyTime(index);
    return where;
}

}  // namespace

void Scene::SetKeyInterpolation(Property& p, int index, Interpolation in, Interpolation out) {
    if (!p.SetInterpolation(index, in, out)) return;
    auto record = KeyRecord(Where(p), "key interpolation", p, index);
    record["in"] = InterpolationName(in);
    record["out"] = InterpolationName(out);
    Note(std::move(record));
}

void Scene::SetKeyEase(Property& p, int index, const std::vector<Ease>& in,
                       const std::vector<Ease>& out) {
    if (!p.SetTemporalEase(index, in, out)) return;
    const Keyframe& key = p.Keys()[static_cast<std::size_t>(index - 1)];
    auto record = KeyRecord(Where(p), "key ease", p, index);
    record["in"] = EaseJson(key.inEase);
    record["out"] = EaseJson(key.outEase);
    record["inType"] = InterpolationName(key.inType);
    record["outType"] = InterpolationName(key.outType);
    Note(std::move(record));
}

void Scene::SetKeyFlag(Property& p, int index, KeyFlag flag, bool on, const char* method) {
    if (!p.SetKeyFlag(index, flag, on, method)) return;
    auto record = KeyRecord(Where(p), "key state", p, index);
    record["state"] = KeyFlagName(flag);
    record["to"] = on;
    Note(std::move(record));
}

void Scene::SetKeyTangents(Property& p, int index, const Value& in, const Value& out) {
    if (!p.SetSpatialTangents(index, in, out)) return;
    auto record = KeyRecord(Where(p), "key tangents", p, index);
    record["in"] = in;
    record["out"] = out;
    Note(std::move(record));
}

void Scene::SetKeyLabel(Property& p, int index, int label) {
    if (!p.SetKeyLabel(index, label)) return;
    auto record = KeyRecord(Where(p), "key label", p, index);
    record["to"] = label;
    Note(std::move(record));
}

void Scene::SetValueAtKey(Property& p, int index, const Value& v) {
    p.SetValueAtKey(index, v);
    auto record = KeyRecord(Where(p), "key set", p, index);
    record.erase("key");  // the same record as setValueAtTime's
    record["value"] = ValueJson(p.KeyValue(index));
    Note(std::move(record));
}

void Scene::SetValuesAtTimes(Property& p, const std::vector<double>& times,
                             const std::vector<Value>& values) {
    for (const int index : p.SetValuesAtTimes(times, values)) {
        auto record = KeyRecord(Where(p), "key set", p, index);
        record.erase("key");
        record["value"] = ValueJson(p.KeyValue(index));
        Note(std::move(record));
    }
}

void Scene::SetExpression(Property& p, const std::string& text) {
    if (text == p.Expression() && p.ExpressionEnabled() == !text.empty()) return;
    p.SetExpression(text);
    auto record = Where(p);
    record["change"] = "expression";
    record["expression"] = text;
    record["enabled"] = p.ExpressionEnabled();
    Note(std::move(record));
}

void Scene::SetExpressionEnabled(Property& p, bool on) {
    if (p.ExpressionEnabled() == on) return;
    p.SetExpressionEnabled(on);
    auto record = Where(p);
    record["change"] = "expression";
    record["expression"] = p.Expression();
    record["enabled"] = on;
    Note(std::move(record));
}

}  // namespace hostsim::model
