// The script bindings of footage and AV items: what a footage item and its sources answer,
// guides, proxies, replacing footage, a composition's copy, layers of items; and reading a
// file's kind and pixel size for import. Footage crosses as a record {kind, name, path,
// sequence, width, height, pixelAspect, frameRate, duration, hasAlpha, color}; a source's
// handle is its item's id, a proxy source's minus it.
#include <filesystem>
#include <fstream>

#include "scripting/Environment.h"
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

using model::FootageSetup;
using model::SourceKind;
using nlohmann::json;

FootageSetup SetupOf(const Call& c, std::size_t i) {
    const Arg& arg = c.At(i);
    if (arg.type != Arg::Other || !arg.json.is_object())
        model::ThrowParameter(std::string(c.method), static_cast<int>(i) + 1,
                              "Value is not a File.");
    const json& j = arg.json;
    FootageSetup setup;
    setup.name = j.value("name", "");
    setup.path = j.value("path", "");
    setup.sequence = j.value("sequence", false);
    setup.hasAlpha = j.value("hasAlpha", false);
    setup.width = j.value("width", 0.0);
    setup.height = j.value("height", 0.0);
    setup.frameRate = j.value("frameRate", 0.0);
    setup.duration = j.value("duration", 0.0);
    return setup;
}

FootageSetup Solid(const Call& c) {
    FootageSetup setup;
    setup.kind = SourceKind::Solid;
    setup.color = ArgJson(c.At(0));
    setup.name = c.Text(1);
    setup.width = c.Number(2), setup.height = c.Number(3), setup.pixelAspect = c.Number(4);
    return setup;
}

FootageSetup Placeholder(const Call& c) {
    FootageSetup setup;
    setup.kind = SourceKind::Placeholder;
    setup.name = c.Text(0);
    setup.width = c.Number(1), setup.height = c.Number(2);
    setup.frameRate = c.Number(3), setup.duration = c.Number(4);
    return setup;
}

char SourceKindOf(SourceKind kind) {
    return kind == SourceKind::Solid ? 'o' : kind == SourceKind::File ? 'u' : 'q';
}

unsigned Be(const std::string& b, std::size_t at, int bytes) {
    unsigned v = 0;
    for (int k = 0; k < bytes; ++k) v = v << 8 | static_cast<unsigned char>(b[at + k]);
    return v;
}

// A PNG's or a JPEG's pixel size (and a PNG's alpha) from its header; false for other data.
bool ReadImageHeader(const std::string& b, FootageSetup& setup) {
    if (b.size() >= 26 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 &&
        b.compare(12, 4, "IHDR") == 0) {
        setup.width = Be(b, 16, 4), setup.height = Be(b, 20, 4);
        setup.hasAlpha = b[25] == 4 || b[25] == 6;
        return true;
    }
    if (b.size() < 4 || Be(b, 0, 2) != 0xFFD8) return false;
    for (std::size_t i = 2; i + 9 < b.size();) {
        if (static_cast<unsigned char>(b[i]) != 0xFF) return false;
        const unsigned marker = static_cast<unsigned char>(b[i + 1]);
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            setup.height = Be(b, i + 5, 2), setup.width = Be(b, i + 7, 2);
            return true;
        }
        i += 2 + Be(b, i + 2, 2);
    }
    return false;
}

// "shot_0007.png" -> "shot_.png": the name a sequence's files share.
std::string Pattern(const std::string& name) {
    std::string out;
    for (const char ch : name)
        if (ch < '0' || ch > '9') out += ch;
    return out;
}

}  // namespace

std::span<const OpEntry> FootageOps() {
    static const OpEntry ops[] = {
        {"footage.attribute",
         [](Scene& s, const Call& c) -> Out {
             const auto id = static_cast<std::int32_t>(std::abs(c.handle));
             const model::Item& item = s.RequireItem(id);
             if (c.handle > 0 && item.type != model::ItemType::Footage &&
                 item.type != model::ItemType::Solid)
                 model::ThrowInvalid();
             return model::FootageAttribute(item, c.Text(0), c.handle < 0);
         }},
        {"footage.attribute=",
         [](Scene& s, const Call& c) -> Out {
             if (c.handle < 0)
                 throw ModelError("\"" + c.Text(0) +
                                  "\" of a proxy is not modelled by the simulated host");
             if (c.Text(0) == "time") return s.SetFootageTime(c.ItemId(), c.Number(1)), Undefined{};
             return s.SetSolidAttribute(c.ItemId(), c.Text(0), ArgJson(c.At(1))), Undefined{};
         }},
        {"footage.mainSource",
         [](Scene& s, const Call& c) -> Out {
             const model::Item& item = s.RequireItem(c.ItemId());
             const auto kind =
                 item.type == model::ItemType::Solid ? SourceKind::Solid : item.mainKind;
             return Ref{SourceKindOf(kind), static_cast<double>(c.ItemId())};
         }},
        {"footage.replace",
         [](Scene& s, const Call& c) -> Out {
             return s.ReplaceFootage(c.ItemId(), SetupOf(c, 0), "replace"), Undefined{};
         }},
        {"footage.replaceWithSolid",
         [](Scene& s, const Call& c) -> Out {
             return s.ReplaceFootage(c.ItemId(), Solid(c), "replaceWithSolid"), Undefined{};
         }},
        {"footage.replaceWithPlaceholder",
         [](Scene& s, const Call& c) -> Out {
             return s.ReplaceFootage(c.ItemId(), Placeholder(c), "replaceWithPlaceholder"),
                    Undefined{};
         }},
        {"avitem.useProxy",
         [](Scene& s, const Call& c) -> Out { return s.RequireItem(c.ItemId()).useProxy; }},
        {"avitem.useProxy=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetUseProxy(c.ItemId(), c.Flag()), Undefined{};
         }},
        {"avitem.proxySource",
         [](Scene& s, const Call& c) -> Out {
             const model::Item& item = s.RequireItem(c.ItemId());
             if (!item.proxy) return Null{};
             return Ref{SourceKindOf(item.proxy->setup.kind), -static_cast<double>(c.ItemId())};
         }},
        {"avitem.setProxy",
         [](Scene& s, const Call& c) -> Out {
             return s.SetProxy(c.ItemId(), SetupOf(c, 0),
                               c.At(1).flag ? "setProxyWithSequence" : "setProxy"),
                    Undefined{};
         }},
        {"avitem.setProxyWithSolid",
         [](Scene& s, const Call& c) -> Out {
             return s.SetProxy(c.ItemId(), Solid(c), "setProxyWithSolid"), Undefined{};
         }},
        {"avitem.setProxyWithPlaceholder",
         [](Scene& s, const Call& c) -> Out {
             return s.SetProxy(c.ItemId(), Placeholder(c), "setProxyWithPlaceholder"), Undefined{};
         }},
        {"avitem.setProxyToNone",
         [](Scene& s, const Call& c) -> Out { return s.SetProxyToNone(c.ItemId()), Undefined{}; }},
        {"item.addGuide",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.AddGuide(c.ItemId(), c.Number(0), c.Number(1)));
         }},
        {"item.removeGuide",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveGuide(c.ItemId(), c.Index(0)), Undefined{};
         }},
        {"item.setGuide",
         [](Scene& s, const Call& c) -> Out {
             return s.SetGuide(c.ItemId(), c.Number(0), c.Index(1)), Undefined{};
         }},
        {"item.guides",
         [](Scene& s, const Call& c) -> Out {
             json out = json::array();
             for (const auto& g : s.RequireItem(c.ItemId()).guides)
                 out.push_back({{"orientationType", g.orientation}, {"position", g.position}});
             return out;
         }},
        {"comp.duplicate",
         [](Scene& s, const Call& c) -> Out {
             return ItemRef(s.RequireItem(s.DuplicateComp(s.RequireComp(c.ItemId()))));
         }},
        // The script half passes an item as its id, anything else as null.
        {"layers.add",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             if (c.At(0).type != Arg::Number)
                 model::ThrowParameter("add", 1, "Value is not an AVItem.");
             std::optional<double> duration;
             if (c.At(1).type != Arg::Undefined) duration = c.Number(1);
             return NodeRef(s.AddItemLayer(comp, static_cast<std::int32_t>(c.Number(0)), duration));
         }},
    };
    return ops;
}

std::span<const EnvOpEntry> FootageFileOps() {
    static const EnvOpEntry ops[] = {
        // (path, method, sequence): the footage record a file gives, or the host's error.
        {"footage.probe",
         [](ScriptEnvironment& e, const Call& c) -> Out {
             const std::string& method = c.Text(1);
             const std::string path = e.Files().Absolute(c.Text(0));
             std::string error;
             const auto real = e.Files().Resolve(path, error);
             std::ifstream in;
             if (real) in.open(*real, std::ios::binary);
             if (!real || !in)
                 model::ThrowParameter(method, 1, "File \"" + path + "\" cannot be read.");
             std::string head(1 << 20, '\0');
             in.read(head.data(), static_cast<std::streamsize>(head.size()));
             head.resize(static_cast<std::size_t>(in.gcount()));
             FootageSetup setup;
             if (!ReadImageHeader(head, setup) || setup.width < 1 || setup.height < 1)
                 throw ModelError("\"" + method +
                                  "\" of this file is not modelled by the simulated host: it "
                                  "reads PNG and JPEG stills only");
             const auto slash = path.rfind('/');
             const std::string name = path.substr(slash + 1);
             json out = {
                 {"kind", "file"},       {"name", name},           {"path", path},
                 {"width", setup.width}, {"height", setup.height}, {"hasAlpha", setup.hasAlpha},
                 {"frameRate", 0},       {"duration", 0},          {"sequence", false}};
             if (c.At(2).flag) {
                 // The folder's files named like this one, at the import's 30 frames a second.
                 int frames = 0;
                 std::error_code ec;
                 for (const auto& entry : std::filesystem::directory_iterator(
                          std::filesystem::path(*real).parent_path(), ec))
                     if (entry.is_regular_file(ec) &&
                         Pattern(entry.path().filename().string()) == Pattern(name))
                         ++frames;
                 out["sequence"] = true;
                 out["frameRate"] = 30;
                 out["duration"] = frames / 30.0;
             }
             return out;
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
