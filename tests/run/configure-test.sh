#!/usr/bin/env bash
# Configuring an unchanged tree again writes none of the script engine's generated sources,
# so that a build after it has nothing to do (each ./run configures).
#   configure-test.sh <source root>
set -euo pipefail
root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/CMakeLists.txt" <<END
cmake_minimum_required(VERSION 3.20)
project(engine C)
add_subdirectory("$root/hostsim/duktape" duktape)
END
stamps() { (cd "$work/build/duktape/src" && stat -c '%n %.9Y' duktape.c duktape.h duk_config.h); }
cmake -S "$work" -B "$work/build" -G Ninja >/dev/null
before="$(stamps)"
cmake -S "$work" -B "$work/build" >/dev/null
after="$(stamps)"
if [ "$before" != "$after" ]; then
  echo "FAIL: configuring again rewrote the engine's sources:"
  diff <(echo "$before") <(echo "$after")
  exit 1
fi
echo "configure: the engine's sources were left as they were"
