// The preprocessor directives of the host's script language: a line starting with `#name` or
// `//@name` (spaces allowed before it and after the slashes). `#include` (with `#includepath`)
// puts a file's text in place of its line; `#target`, `#targetengine`, `#script`, `#strict`
// and `#engine` choose things this host has only one of, so their lines are dropped. Any other
// line, `#` lines included, is left to the compiler. Pure; the reader decides which files may
// be read.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hostsim {

// Reads the file at path (the directive's text, made absolute against folder when relative;
// folder empty: the reader's own current folder) and gives its text and absolute path, or
// nullopt and the reason in error.
struct IncludedFile {
    std::string path;  // absolute
    std::string text;
};
using IncludeReader = std::function<std::optional<IncludedFile>(
    const std::string& path, const std::string& folder, std::string& error)>;

struct Expanded {
    std::string text;
    bool included = false;  // a file's text is in it: the result depends on more than source
    std::string error;      // not empty: the script does not run
};

// Whether source may hold a directive at all (cheap; false: Expand would change nothing).
bool MayHoldDirectives(std::string_view source);
// source with its directives carried out. Included files may include others, up to
// kMostNested deep; a file including itself through any chain is refused, and so is a text
// growing past mostBytes (a file included many times over would otherwise exhaust memory).
inline constexpr int kMostNested = 16;
inline constexpr std::size_t kMostExpandedBytes = std::size_t{64} << 20;
Expanded ExpandDirectives(std::string_view source, const IncludeReader& read,
                          std::size_t mostBytes = kMostExpandedBytes);

}  // namespace hostsim
