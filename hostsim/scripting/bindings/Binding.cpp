#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

Out ValueOut(const model::Value& v) { return v.size() == 1 ? Out(v[0]) : Out(v); }

Ref ItemRef(const model::Item& item) {
    const char kind =
        item.type == model::ItemType::Comp     ? 'c'
        : item.type == model::ItemType::Folder ? 'd'
        : item.type == model::ItemType::Footage && item.mainKind == model::SourceKind::Placeholder
            ? 'h'
            : 'f';
    return {kind, static_cast<double>(item.id)};
}

Ref NodeRef(const model::Node& node) {
    char kind = node.Kind() == model::NodeKind::Layer   ? 'l'
                : node.Kind() == model::NodeKind::Group ? 'g'
                                                        : 'p';
    // The effects group and each effect name their children as attributes too.
    if (kind == 'g' && (static_cast<const model::PropertyGroup&>(node).isEffect ||
                        node.matchName == "ADBE Effect Parade"))
        kind = 'e';
    // The layer's class ("t" TextLayer, "s" ShapeLayer, "k" CameraLayer, "i" LightLayer),
    // and a text layer's source text ("x"), whose value is a TextDocument.
    if (kind == 'l') {
        static constexpr char kLayerKinds[] = {'l', 't', 's', 'k', 'i'};
        kind = kLayerKinds[static_cast<int>(static_cast<const model::Layer&>(node).layerKind)];
    } else if (kind == 'p' && node.matchName == "ADBE Text Document") {
        kind = 'x';
    }
    // A mask ("a", a MaskPropertyGroup) and its path ("b"), whose value is a Shape.
    if (model::IsMask(node)) kind = 'a';
    if (kind == 'p' && static_cast<const model::Property&>(node).IsShape()) kind = 'b';
    return {kind, static_cast<double>(node.handle)};
}

Out NodeOrNull(const model::Node* node) { return node ? Out(NodeRef(*node)) : Out(Null{}); }

model::Layer& LayerArg(const Scene& s, const Call& c, std::size_t i) {
    const Arg& arg = c.At(i);
    if (arg.type != Arg::Number)
        model::ThrowParameter(std::string(c.method), static_cast<int>(i) + 1,
                              "Value is not a layer.");
    const bool handle = arg.number > 0 && arg.number < 9e15;
    return s.RequireLayer(handle ? static_cast<std::uint64_t>(arg.number) : 0);
}

std::vector<Ref> ItemRefs(const Scene& s, bool selectedOnly) {
    std::vector<Ref> refs;
    for (const auto& item : s.Items())
        if (!selectedOnly || item->selected) refs.push_back(ItemRef(*item));
    return refs;
}

void SelectedUnder(const model::Node& node, std::vector<Ref>& refs) {
    if (node.Kind() != model::NodeKind::Layer && node.selected) refs.push_back(NodeRef(node));
    if (node.Kind() == model::NodeKind::Property) return;
    for (const auto& child : static_cast<const model::PropertyGroup&>(node).children)
        SelectedUnder(*child, refs);
}

nlohmann::json ArgJson(const Arg& arg) {
    switch (arg.type) {
        case Arg::Bool:
            return arg.flag;
        case Arg::Number:
            return arg.number;
        case Arg::Text:
            return arg.text;
        case Arg::Numbers:
            return arg.numbers;
        case Arg::Other:
            return arg.json;
        default:
            return nullptr;
    }
}

}  // namespace hostsim::bindings
