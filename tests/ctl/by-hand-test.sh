#!/usr/bin/env bash
# The "by hand" lines of README.md and docs/hostsim.md, typed into an interactive bash on a
# pseudo-terminal (util-linux `script`), as a newcomer pastes them: the host started with `&`
# must keep running in the background, the client must reach it, and `kill %1` must end it.
# Only the build line is left out (the build tree under test stands in for build/default), and
# /tmp/ becomes the test's own folder.
# Usage: by-hand-test.sh <build-dir>
set -uo pipefail
BUILD="$(cd "${1:?usage: by-hand-test.sh <build-dir>}" && pwd)"
SOURCE="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/cuebridge-by-hand.XXXXXX")"
HOST_PIDS=()
cleanup() {
  for pid in "${HOST_PIDS[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL ($1): $2"; failures=$((failures + 1)); }

# lines_after FILE MARKER: the first ```sh block after the line that starts with MARKER.
lines_after() {
  awk -v marker="$2" 'index($0, marker) == 1 { found = 1; next }
    found && /^```sh/ { inside = 1; next }
    inside && /^```/ { exit }
    inside' "$1"
}

# type_in NAME LINES: types LINES (then `exit`) into an interactive bash under HOME=<work>/NAME
# in <work>/NAME/repo, where build/default is the tree under test; leaves the session's
# terminal output in <work>/NAME/terminal and the host's process id in <work>/NAME/host-pid.
type_in() {
  local dir="$WORK/$1"
  mkdir -p "$dir/repo/build" "$dir/home"
  ln -s "$BUILD" "$dir/repo/build/default"
  {
    printf '%s\n' "$2" | grep -v '^\./run build' | sed "s|/tmp/|$dir/|g"
    echo "echo \$! >'$dir/host-pid'"
    echo exit
    echo exit # a second time, should a stopped job have held the first back
  } >"$dir/typed"
  # One line every 0.2 s, as pasted; the session may take a minute before the fix it tests.
  (cd "$dir/repo" && while IFS= read -r line; do
    printf '%s\n' "$line"
    sleep 0.2
  done <"$dir/typed" | HOME="$dir/home" TERM=dumb timeout 120 \
    script -qfec "bash --norc --noprofile -i" /dev/null >"$dir/terminal" 2>&1)
  [ -s "$dir/host-pid" ] && HOST_PIDS+=("$(cat "$dir/host-pid")")
}

# check NAME EXPECTED-LINE...: the session showed each line, no job was stopped, and the host
# ended with it.
check() {
  local name="$1" dir="$WORK/$1" seen
  shift
  seen="$(tr -d '\r' <"$dir/terminal")"
  for line in "$@"; do
    grep -qx -- "$line" <<<"$seen" || fail "$name" "no line '$line' in the session"
  done
  grep -q "Stopped" <<<"$seen" && fail "$name" "a job was stopped"
  local pid
  pid="$(cat "$dir/host-pid" 2>/dev/null)"
  if [ -z "$pid" ]; then
    fail "$name" "the session did not run to its end"
  else
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && fail "$name" "the host still runs after the session"
  fi
  [ "$failures" -eq 0 ] || sed 's/^/  | /' <<<"$seen"
}

readme="$(lines_after "$SOURCE/README.md" "## Driving it by hand")"
type_in readme "$readme"
check readme en_US 6
grep '"call":"AEGP_DoCommand"' "$WORK/readme/journal.jsonl" | grep -q '"command":2004' ||
  fail readme "the journal lacks the menu command 2004"

hostsim="$(lines_after "$SOURCE/docs/hostsim.md" "By hand:")"
type_in hostsim "$hostsim"
check hostsim en_US

[ "$failures" -eq 0 ] && echo "by hand: the lines of README.md and docs/hostsim.md ran as typed"
exit "$failures"
