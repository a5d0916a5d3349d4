#!/usr/bin/env bash
# The end-to-end demo: the simulated host loads the plug-in under a throw-away HOME, and a
# controller (here: bash over /dev/tcp) talks to it as the controller service would.
# Usage: examples/demo.sh <build-dir>
set -euo pipefail
BUILD="${1:?usage: demo.sh <build-dir>}"
HOSTSIM="$BUILD/bin/cuebridge-hostsim"
PLUGIN="$BUILD/lib/Cuebridge.so"
[ -x "$HOSTSIM" ] || { echo "demo: $HOSTSIM not built" >&2; exit 1; }

WORK="$(mktemp -d "${TMPDIR:-/tmp}/cuebridge-demo.XXXXXX")"
HOST_PID=""
cleanup() {
  exec 3>&- 4<&- 2>/dev/null || true
  if [ -n "$HOST_PID" ] && kill -0 "$HOST_PID" 2>/dev/null; then kill "$HOST_PID" 2>/dev/null || true; wait "$HOST_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

export HOME="$WORK/home"
SERVICE="$HOME/Library/Application Support/Ostrel/OstrelPluginService"
PORT_FILE="$SERVICE/PluginData/AfterEffects/socket.port"
mkdir -p "$SERVICE/PluginData"   # the controller service's folder; the plug-in adds AfterEffects/

mkfifo "$WORK/console"
"$HOSTSIM" --plugin "$PLUGIN" --journal "$WORK/journal.jsonl" <"$WORK/console" >"$WORK/answers.jsonl" 2>"$WORK/stderr.txt" &
HOST_PID=$!
exec 3>"$WORK/console"

for _ in $(seq 1 200); do
  [ -s "$PORT_FILE" ] && break
  kill -0 "$HOST_PID" 2>/dev/null || { echo "demo: the simulated host ended:" >&2; cat "$WORK/stderr.txt" >&2; exit 1; }
  sleep 0.05
done
[ -s "$PORT_FILE" ] || { echo "demo: no port file after 10 s" >&2; cat "$WORK/stderr.txt" >&2; exit 1; }
PORT="$(cat "$PORT_FILE")"
echo "== simulated host up (pid $HOST_PID); plug-in listens on 127.0.0.1:$PORT"

for _ in $(seq 1 100); do exec 4<>"/dev/tcp/127.0.0.1/$PORT" 2>/dev/null && break; sleep 0.05; done

# Sends one request; prints the reply (replies carry no terminator: read until quiet).
ask() {
  local reply="" chunk
  printf '%s\n' "$1" >&4
  while IFS= read -r -t 1 -d '' chunk <&4 || [ -n "$chunk" ]; do reply+="$chunk"; chunk=""; [ -n "$reply" ] && break; done
  IFS= read -r -t 0.3 -d '' chunk <&4 || true; reply+="${chunk:-}"
  if [ ${#reply} -gt 160 ]; then reply="${reply:0:160}... (${#reply} bytes)"; fi
  printf '  -> %-45s <- %s\n' "$1" "${reply:-(no reply)}"
}
tell() { printf '%s\n' "$1" >&4; printf '  -> %-45s    (queued, no reply)\n' "$1"; sleep 0.2; }

echo "== controller conversation"
ask  "1|GetAfterEffectLanguage|"
sleep 0.5   # the start-up job gathers the effects list at the first idle calls
ask  "2|GetInstalledAfterEffectEffects|"
ask  "3|Script|app.project.numItems + ' items, active: ' + app.project.activeItem.name"
tell "4|ExecuteCommand|2004"
tell "5|InfoPanelCommand|SetInfoText"
tell "6|InfoPanelCommand|SetInfoColor"
tell "7|NavigateCommand|First"
tell "8|NavigateCommand|Next"
ask  "9|Script|this is not a script("
exec 4<&- 4>&-

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
