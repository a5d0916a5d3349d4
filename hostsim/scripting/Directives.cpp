#include "scripting/Directives.h"

#include <algorithm>
#include <vector>

namespace hostsim {
namespace {

struct Directive {
    std::string_view name;
    std::string arg;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The directive a line holds, if any: `#name arg` or `//@name arg`, arg without the trailing
// semicolon and surrounding quotes.
std::optional<Directive> Parse(std::string_view line) {
    static constexpr std::string_view kNames[] = {
        "include", "includepath", "target", "targetengine", "script", "strict", "engine"};
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (line.substr(i, 1) == "#") {
        ++i;
    } else if (line.substr(i, 2) == "//") {
        i += 2;
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (line.substr(i, 1) != "@") return std::nullopt;
        ++i;
    } else {
        return std::nullopt;
    }
    std::size_t end = i;
    while (end < line.size() && line[end] >= 'a' && line[end] <= 'z') ++end;
    const std::string_view name = line.substr(i, end - i);
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames))
        return std::nullopt;
    if (end < line.size() && !IsBlank(line[end]) && line[end] != '"' && line[end] != '\'' &&
        line[end] != ';')
        return std::nullopt;  // a longer word: not a directive
    std::string_view arg = line.substr(end);
    while (!arg.empty() && IsBlank(arg.front())) arg.remove_prefix(1);
    while (!arg.empty() && (IsBlank(arg.back()) || arg.back() == ';')) arg.remove_suffix(1);
    if (arg.size() >= 2 && (arg.front() == '"' || arg.front() == '\'') && arg.back() == arg.front())
        arg = arg.substr(1, arg.size() - 2);
    return Directive{name, std::string(arg)};
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class Expander {
public:
    Expander(const IncludeReader& read, std::size_t mostBytes)
        : read_(read), mostBytes_(mostBytes) {}

    // Appends text, its directives carried out, to out; false (error set) on a refusal.
    bool Expand(std::string_view text, const std::string& folder, int depth) {
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find_first_of("\r\n", at);
            if (end == std::string_view::npos) end = text.size();
            std::size_t next = end;
            if (next < text.size()) next += text.compare(next, 2, "\r\n") == 0 ? 2 : 1;
            const std::string_view line = text.substr(at, end - at);
            const std::string_view separator = text.substr(end, next - end);
            at = next;
            const auto directive = Parse(line);
            if (!directive) {
                out.text.append(line).append(separator);
                continue;
            }
            if (directive->name == "includepath") {
                paths_.clear();
                std::string_view rest = directive->arg;
                while (!rest.empty()) {
                    const auto semi = std::min(rest.find(';'), rest.size());
                    if (semi > 0) paths_.emplace_back(rest.substr(0, semi));
                    rest.remove_prefix(std::min(semi + 1, rest.size()));
                }
            } else if (directive->name == "include") {
                if (!Include(directive->arg, folder, depth)) return false;
                if (!out.text.empty() && out.text.back() != '\n' && out.text.back() != '\r')
                    out.text += '\n';
                continue;  // the file's lines stand for the directive's
            }
            out.text.append(separator);  // the line goes; the lines after keep their numbers
        }
        return true;
    }

    Expanded out;

private:
    bool Include(const std::string& name, const std::string& folder, int depth) {
        if (name.empty()) return Fail("#include names no file");
        if (depth >= kMostNested)
            return Fail("#include \"" + name + "\": more than " + std::to_string(kMostNested) +
                        " files deep");
        // The include path's folders first, then the including file's (or the current one).
        std::vector<std::string> folders = paths_;
        folders.push_back(folder);
        std::string error;
        std::optional<IncludedFile> file;
        for (const auto& f : folders)
            if ((file = read_(name, f, error))) break;
        if (!file) return Fail("#include \"" + name + "\": " + error);
        if (std::find(chain_.begin(), chain_.end(), file->path) != chain_.end())
            return Fail("#include \"" + name + "\": the file includes itself");
        if (out.text.size() + file->text.size() > mostBytes_)
            return Fail("#include \"" + name + "\": the script would be more than " +
                        std::to_string(mostBytes_ >> 20) + " MiB with its included files");
        out.included = true;
        chain_.push_back(file->path);
        const bool ok = Expand(file->text, FolderOf(file->path), depth + 1);
        chain_.pop_back();
        return ok;
    }
    bool Fail(std::string error) {
        out.error = std::move(error);
        return false;
    }

    const IncludeReader& read_;
    std::size_t mostBytes_;
    std::vector<std::string> paths_;  // #includepath
    std::vector<std::string> chain_;  // the files being expanded, outermost first
};

}  // namespace

bool MayHoldDirectives(std::string_view source) {
    return source.find('#') != std::string_view::npos || source.find('@') != std::string_view::npos;
}

Expanded ExpandDirectives(std::string_view source, const IncludeReader& read,
                          std::size_t mostBytes) {
    Expander expander(read, mostBytes);
    if (!expander.Expand(source, "", 0)) expander.out.text.clear();
    return std::move(expander.out);
}

}  // namespace hostsim
