# Writes a C++ source that holds a script file's text as a NUL-terminated char array.
# cmake -DINPUT=<file.js> -DOUTPUT=<file.cpp> -DNAME=<C++ name> -DHEADER=<room/File.h> -P EmbedScript.cmake
get_filename_component(name "${INPUT}" NAME)
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${name} by EmbedScript.cmake; do not edit.\n"
  "#include \"${HEADER}\"\n\nnamespace hostsim {\n\n"
  "const char ${NAME}[] = {${bytes}'\\0'};\n\n"
  "}  // namespace hostsim\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
