#!/usr/bin/env bash
# The simulated host with the plug-in and its live view, for a person to try: open the URL
# it prints, then drive the plug-in from another shell with cuebridge-ctl (the HOME to use is
# printed too). Runs until Ctrl-C; the host's console stays on this terminal.
# Usage: examples/sim.sh <build-dir> [view-port]   (port 0: any free port)
set -euo pipefail
BUILD="${1:?usage: sim.sh <build-dir> [view-port]}"
PORT="${2:-8765}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/cuebridge-sim.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

export HOME="$WORK/home"
mkdir -p "$HOME/Library/Application Support/Ostrel/OstrelPluginService/PluginData"
cat >&2 <<TEXT
==> drive the plug-in from another shell, for example:
      HOME=$HOME $BUILD/bin/cuebridge-ctl navigate Next
      HOME=$HOME $BUILD/bin/cuebridge-ctl info SetInfoColor
    console commands here: state, select ID, command N, script TEXT, quit (Ctrl-C ends too)
TEXT
"$BUILD/bin/cuebridge-hostsim" --ui "$PORT"
