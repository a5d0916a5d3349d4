# Writes a C++ source that holds the view's page files as byte arrays, with FindWebAsset.
# cmake -DOUTPUT=<file.cpp> -DSOURCE_DIR=<hostsim/view/web> -P Embed.cmake
# path|file|type; every type is served with "; charset=utf-8".
set(assets
  "/|index.html|text/html"
  "/style.css|style.css|text/css"
  "/app.js|app.js|text/javascript"
  "/feed.js|feed.js|text/javascript"
  "/favicon.svg|favicon.svg|image/svg+xml"
  "/favicon.ico|favicon.svg|image/svg+xml")
set(arrays "")
set(lookups "")
set(index 0)
foreach(asset IN LISTS assets)
  string(REPLACE "|" ";" fields "${asset}")
  list(GET fields 0 path)
  list(GET fields 1 file)
  list(GET fields 2 type)
  file(READ "${SOURCE_DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kAsset${index}[] = {${bytes}0x00};\n")
  string(APPEND lookups "    if (path == \"${path}\")\n"
    "        return WebAsset{{reinterpret_cast<const char*>(kAsset${index}), ${size}}, \"${type}; charset=utf-8\"};\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from hostsim/view/web by Embed.cmake; do not edit.\n"
  "#include \"view/WebAssets.h\"\n\nnamespace hostsim {\nnamespace {\n${arrays}}  // namespace\n\n"
  "std::optional<WebAsset> FindWebAsset(std::string_view path) {\n${lookups}    return std::nullopt;\n}\n\n"
  "}  // namespace hostsim\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
