#!/usr/bin/env bash
# Runs the end-to-end conversation under valgrind's memcheck: the simulated host loads the
# real plug-in, a controller (bash's /dev/tcp) asks the language and the effects list, sends
# menu, Info panel and Project panel commands and scripts (a good one, a failing one), some
# garbage and a connection cut in the middle of a script; then the host quits. Fails on any
# invalid access and on any definite leak. The plug-in's detached threads and its
# never-freed singletons are by design, so "still reachable" and "possibly lost" blocks from
# them are not counted.
# Usage: tests/valgrind.sh [build dir, default build/default]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build/default}"
HOSTSIM="$BUILD/bin/cuebridge-hostsim"
PLUGIN="$BUILD/lib/Cuebridge.so"
[ -x "$HOSTSIM" ] && [ -f "$PLUGIN" ] || { echo "build the default preset first (./run build)"; exit 1; }

WORK="$(mktemp -d "${TMPDIR:-/tmp}/cuebridge-valgrind-XXXXXX")"
HOST_PID=""
cleanup() {
  exec 3>&- 4>&- 5<&- 2>/dev/null || true
  [ -n "$HOST_PID" ] && kill "$HOST_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

PORT_DIR="$WORK/home/Library/Application Support/Ostrel/OstrelPluginService/PluginData/AfterEffects"
mkdir -p "$PORT_DIR"
PORT_FILE="$PORT_DIR/socket.port"
REPORT="$WORK/memcheck.txt"

mkfifo "$WORK/console.in" "$WORK/console.out"
HOME="$WORK/home" valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite --show-leak-kinds=definite --track-origins=no \
  --log-file="$REPORT" "$HOSTSIM" --plugin "$PLUGIN" --idle-interval-ms 10 \
  <"$WORK/console.in" >"$WORK/console.out" 2>"$WORK/host.stderr" &
HOST_PID=$!
exec 4>"$WORK/console.in" 5<"$WORK/console.out"

fail() { echo "valgrind run: $*" >&2; tail -30 "$REPORT" >&2 || true; exit 1; }

# The port published after the one given (the plug-in starts a new cycle per connection).
next_port() {
  local previous="$1" port=""
  for _ in $(seq 1 600); do
    port="$(cat "$PORT_FILE" 2>/dev/null || true)"
    if [ -n "$port" ] && [ "$port" != "$previous" ]; then echo "$port"; return 0; fi
    sleep 0.1
  done
  fail "no port published after $previous"
}

# Opens fd 3 to the plug-in (it listens just after writing the port file).
connect() {
  for _ in $(seq 1 100); do
    if { exec 3<>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  fail "cannot connect to port $1"
}

# Sends one line and reads a reply of the expected text's length; compares.
ask() {
  local line="$1" expected="$2" reply=""
  printf '%s\n' "$line" >&3
  IFS= read -r -d '' -N "${#expected}" -t 120 reply <&3 || true
  [ "$reply" = "$expected" ] || fail "'$line' answered '$reply', expected '$expected'"
}

console() {
  local answer=""
  printf '%s\n' "$1" >&4
  IFS= read -r -t 120 answer <&5 || fail "console '$1' got no answer"
  printf '%s' "$answer"
}

port="$(next_port none)"
connect "$port"
ask "1|GetAfterEffectLanguage" "1|en_US"
printf '2|GetInstalledAfterEffectEffects\n' >&3
IFS= read -r -d '' -N 20 -t 120 effects <&3 || true
[ "${effects:0:2}" = "2|" ] || fail "no effects list: '$effects'"
exec 3>&-

port="$(next_port "$port")"
connect "$port"
ask "3|Script|[1, 2, 3].map(function (x) { return x * 2; }).join(',')" "3|2,4,6"
ask "4|Script|undefinedName + 1" "4|SCRIPT ERROR: ReferenceError: identifier 'undefinedName' undefined (line 1)"
for i in $(seq 1 200); do printf '%d|ExecuteCommand|%d\n' "$i" $((10000 + i)) >&3; done
printf '5|InfoPanelCommand|SetInfoText\n6|InfoPanelCommand|SetInfoColor\n7|NavigateCommand|First\n7|NavigateCommand|Next\n' >&3
ask "8|Script|app.project.numItems" "8|6"
head -c 65536 /dev/urandom | tr -d '\n' >&3
printf '\n|||\n\n\n' >&3
ask "9|GetAfterEffectLanguage" "9|en_US"
exec 3>&-

port="$(next_port "$port")"
connect "$port"
printf '10|Script|var t = Date.now(); while (Date.now() - t < 200) {} "slow"\n' >&3
sleep 0.05
exec 3>&-   # gone while the script runs

port="$(next_port "$port")"
connect "$port"
ask "11|Script|6 * 7" "11|42"
exec 3>&-

state="$(console state)"
case "$state" in *'"thread_violations":{"calls":{},"count":0}'*) ;; *) fail "thread violations: $state" ;; esac
commands="$(grep -o '"source":"plugin"' <<<"$state" | wc -l)"
[ "$commands" -eq 200 ] || fail "$commands menu commands run, expected 200"
case "$state" in *'"line1":"Lorem ipsum"'*) ;; *) fail "the Info panel text was not set: $state" ;; esac

printf 'quit\n' >&4
set +e
wait "$HOST_PID"
status=$?
set -e
HOST_PID=""
errors="$(grep -o 'ERROR SUMMARY: [0-9]*' "$REPORT" | tail -1)"
definite="$(grep -o 'definitely lost: [0-9,]* bytes' "$REPORT" | tail -1)"
echo "valgrind memcheck: ${errors:-no summary}; ${definite:-definitely lost: 0 bytes}; host exit $status"
if [ "$status" -ne 0 ]; then
  cat "$WORK/host.stderr" >&2
  fail "memcheck found errors (exit $status)"
fi
