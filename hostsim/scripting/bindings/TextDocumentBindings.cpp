// The script bindings of TextDocument (a value: the script half keeps its record, and every
// read or write passes it here, where the host's rules are) and of a text layer's Source
// Text property, whose value is one.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

model::TextDocument Record(const Call& c) {
    return model::TextDocument::FromJson(c.At(0).json, std::string(c.method), 1);
}

model::Layer& TextLayerOf(Scene& s, const Call& c) {
    model::Layer& layer = s.LayerOf(s.RequireProperty(c.Handle()));
    if (!layer.text) model::ThrowInvalid();
    return layer;
}

// setValue(doc): a TextDocument's record or a string.
Out SetSourceText(Scene& s, const Call& c) {
    model::Layer& layer = TextLayerOf(s, c);
    model::TextDocument doc = *layer.text;
    if (c.At(0).type == Arg::Text)
        doc.text = c.At(0).text;
    else if (c.At(0).type == Arg::Other)
        doc = model::TextDocument::FromJson(c.At(0).json, "setValue", 1);
    else
        model::ThrowParameter("setValue", 1, "Value is not a string or a TextDocument.");
    return s.SetSourceText(layer, doc), Undefined{};
}

}  // namespace

std::span<const OpEntry> TextDocumentOps() {
    static const OpEntry ops[] = {
        // new TextDocument(text): the record of a new document.
        {"textdoc.new",
         [](Scene&, const Call& c) -> Out {
             model::TextDocument doc;
             if (c.At(0).type != Arg::Undefined) doc.Set("text", c.At(0).text);
             doc.Compose();
             return doc.ToJson();
         }},
        {"textdoc.get", [](Scene&, const Call& c) -> Out { return Record(c).Get(c.Text(1)); }},
        // (record, attribute, value): the changed record.
        {"textdoc.set",
         [](Scene&, const Call& c) -> Out {
             model::TextDocument doc = Record(c);
             const Arg& v = c.At(2);
             nlohmann::json value = v.type == Arg::Number    ? nlohmann::json(v.number)
                                    : v.type == Arg::Bool    ? nlohmann::json(v.flag)
                                    : v.type == Arg::Text    ? nlohmann::json(v.text)
                                    : v.type == Arg::Numbers ? nlohmann::json(v.numbers)
                                                             : v.json;
             doc.Set(c.Text(1), value);
             return doc.ToJson();
         }},
        {"textdoc.resetCharStyle",
         [](Scene&, const Call& c) -> Out {
             model::TextDocument doc = Record(c);
             doc.ResetCharStyle();
             return doc.ToJson();
         }},
        {"textdoc.resetParagraphStyle",
         [](Scene&, const Call& c) -> Out {
             model::TextDocument doc = Record(c);
             doc.ResetParagraphStyle();
             return doc.ToJson();
         }},
        // (record, method, index): {start, end} of the paragraph or composed line there.
        {"textdoc.indexesAt",
         [](Scene&, const Call& c) -> Out {
             const Arg& at = c.At(2);
             return Record(c).IndexesAt(
                 c.Text(1), at.type == Arg::Number ? nlohmann::json(at.number) : nlohmann::json());
         }},
        // The layer's document, composed as it is now.
        {"sourcetext.value",
         [](Scene& s, const Call& c) -> Out {
             model::TextDocument doc = *TextLayerOf(s, c).text;
             doc.Compose();
             return doc.ToJson();
         }},
        {"sourcetext.setValue", SetSourceText},
    };
    return ops;
}

}  // namespace hostsim::bindings
