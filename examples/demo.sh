#!/usr/bin/env bash
# The end-to-end demo: the simulated host loads the plug-in under a throw-away HOME, and a
# controller (cuebridge-ctl) talks to it as the controller service would.
# Usage: examples/demo.sh <build-dir or install prefix, e.g. /usr>
set -euo pipefail
BUILD="${1:?usage: demo.sh <build-dir>}"
HOSTSIM="$BUILD/bin/cuebridge-hostsim"
CTL="$BUILD/bin/cuebridge-ctl"
[ -x "$HOSTSIM" ] || { echo "demo: $HOSTSIM not built" >&2; exit 1; }
[ -x "$CTL" ] || { echo "demo: $CTL not built" >&2; exit 1; }

WORK="$(mktemp -d "${TMPDIR:-/tmp}/cuebridge-demo.XXXXXX")"
HOST_PID=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$HOST_PID" ] && kill -0 "$HOST_PID" 2>/dev/null; then kill "$HOST_PID" 2>/dev/null || true; wait "$HOST_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

export HOME="$WORK/home"
SERVICE="$HOME/Library/Application Support/Ostrel/OstrelPluginService"
PORT_FILE="$SERVICE/PluginData/AfterEffects/socket.port"
mkdir -p "$SERVICE/PluginData"   # the controller service's folder; the plug-in adds AfterEffects/

mkfifo "$WORK/console"
# No --plugin: the host loads the plug-in built or installed beside it.
"$HOSTSIM" --journal "$WORK/journal.jsonl" <"$WORK/console" >"$WORK/answers.jsonl" 2>"$WORK/stderr.txt" &
HOST_PID=$!
exec 3>"$WORK/console"

if ! "$CTL" wait --timeout-ms 10000; then
  echo "demo: the plug-in is not listening; the simulated host said:" >&2
  cat "$WORK/stderr.txt" >&2
  exit 1
fi
echo "== simulated host up (pid $HOST_PID); the plug-in listens (port file: $PORT_FILE)"

# Runs cuebridge-ctl, showing the command line, its output (at most 8 lines) and exit code.
ctl() {
  local output rc=0
  output="$("$CTL" "$@" 2>&1)" || rc=$?
  printf '  $ cuebridge-ctl'
  local arg
  for arg in "$@"; do
    if [[ "$arg" =~ ^[A-Za-z0-9_./=-]+$ ]]; then printf ' %s' "$arg"
    elif [[ "$arg" == *"'"* ]]; then printf ' "%s"' "$arg"
    else printf " '%s'" "$arg"; fi
  done
  printf '\n'
  if [ -n "$output" ]; then
    printf '%s\n' "$output" | head -n 8 | sed 's/^/      /'
    local lines; lines=$(printf '%s\n' "$output" | wc -l)
    [ "$lines" -le 8 ] || echo "      ... ($lines lines)"
  fi
  echo "      (exit $rc)"
}

echo "== controller conversation (cuebridge-ctl)"
ctl language
for _ in $(seq 1 100); do   # the start-up job gathers the effects list at the first idle calls
  [ -n "$("$CTL" effects --raw 2>/dev/null | tr -d '\n')" ] && break
  sleep 0.05
done
ctl effects
ctl script "app.project.numItems + ' items, active: ' + app.project.activeItem.name"
ctl command 2004
ctl info SetInfoText
ctl info SetInfoColor
ctl navigate First
ctl navigate Next
ctl script "this is not a script("
ctl send "9|GetAfterEffectLanguage|"
ctl --verbose language
printf '  $ printf ... | cuebridge-ctl repl\n'
printf 'script app.project.activeItem.name\nscript "a|b" + "*|*" + "été"\nquit\n' | "$CTL" repl 2>&1 | sed 's/^/      /'

echo "== host console"
echo "state" >&3
sleep 0.3
echo "quit" >&3
exec 3>&-
wait "$HOST_PID" || true
HOST_PID=""
echo "  final state: $(grep '"state"' "$WORK/answers.jsonl" | tail -1)"
echo "  journal: $(wc -l <"$WORK/journal.jsonl") host calls recorded"
sed 's/^/  host: /' "$WORK/stderr.txt"
