// The live view's page files (HTML, CSS, JavaScript), built into the program from
// hostsim/view/web/ at build time, so that the view needs no files or network at run time.
#pragma once

#include <optional>
#include <string_view>

namespace hostsim {

struct WebAsset {
    std::string_view body;
    const char* contentType;
};

// The file served at the path ("/" is the page itself); nullopt for any other path.
std::optional<WebAsset> FindWebAsset(std::string_view path);

}  // namespace hostsim
