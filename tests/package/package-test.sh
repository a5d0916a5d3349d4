#!/usr/bin/env bash
# Builds the Debian package from a build tree, checks it with lintian (no errors) and for
# maintainer scripts (none), unpacks it with dpkg-deb -x into an empty folder, checks what it
# ships (man pages, versions, the examples the documents name) and runs a controller
# conversation with the unpacked programs: the simulated host finds the unpacked plug-in by
# itself, and the journal records what the controller asked for.
# Usage: package-test.sh <build-dir>
set -euo pipefail
BUILD="${1:?usage: package-test.sh <build-dir>}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/cuebridge-package.XXXXXX")"
HOST_PID=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$HOST_PID" ] && kill -0 "$HOST_PID" 2>/dev/null; then kill "$HOST_PID"; wait "$HOST_PID" || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; [ -f "$WORK/stderr.txt" ] && sed 's/^/  host: /' "$WORK/stderr.txt" >&2; exit 1; }

# until SECONDS_LEFT WHAT COMMAND...: retries COMMAND every 50 ms for a few seconds; says what it
# waited for when time runs out.
until_true() {
  local seconds="$1" what="$2"
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "gave up after ${seconds}s waiting for $what"
    sleep 0.05
  done
}

cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log" >&2; fail "cpack failed"; }
DEB="$(ls "$WORK"/out/cuebridge_*.deb)"
DEPENDS="$(dpkg-deb -f "$DEB" Depends)"
[[ "$DEPENDS" == *libc6* && "$DEPENDS" == *libstdc++6* ]] || fail "runtime dependencies missing: '$DEPENDS'"

# Debian's policy as lintian checks it: no errors (its warnings are shown in the log).
command -v lintian >/dev/null || fail "lintian is not installed (./run setup installs it)"
lintian --fail-on error --info "$DEB" >"$WORK/lintian.log" 2>&1 ||
  { cat "$WORK/lintian.log" >&2; fail "lintian found errors in $(basename "$DEB")"; }
cat "$WORK/lintian.log"
# Only files: nothing runs as root at install or removal (the plug-in is outside the linker's path).
dpkg-deb -e "$DEB" "$WORK/control"
for script in preinst postinst prerm postrm; do
  [ ! -e "$WORK/control/$script" ] || fail "the package has a $script script"
done

mkdir "$WORK/root"
dpkg-deb -x "$DEB" "$WORK/root"
ROOT="$WORK/root/usr"
DOC="$ROOT/share/doc/cuebridge"
VERSION="$(dpkg-deb -f "$DEB" Version)"
for program in cuebridge-hostsim cuebridge-ctl; do
  gzip -dc "$ROOT/share/man/man1/$program.1.gz" | grep -q "^\.SH OPTIONS" ||
    fail "man page of $program lacks its options"
  [ "$("$ROOT/bin/$program" --version)" = "$program $VERSION" ] ||
    fail "$program --version does not say $program $VERSION"
done
[ -f "$DOC/README.md" ] || fail "README not installed"
# Every example the installed documents name is installed beside them.
for example in $(cat "$DOC/README.md" "$DOC"/docs/*.md | grep -o 'examples/[A-Za-z0-9_./-]*' | sort -u); do
  [ -e "$DOC/$example" ] || fail "$example is named in the documents but not installed"
done

export HOME="$WORK/home"
mkdir -p "$HOME/Library/Application Support/Ostrel/OstrelPluginService/PluginData"
mkfifo "$WORK/console"
# No --plugin: the unpacked host must find the unpacked plug-in, not the build tree's.
"$ROOT/bin/cuebridge-hostsim" --journal "$WORK/journal.jsonl" <"$WORK/console" \
  >"$WORK/answers.jsonl" 2>"$WORK/stderr.txt" &
HOST_PID=$!
exec 3>"$WORK/console"
CTL="$ROOT/bin/cuebridge-ctl"
"$CTL" wait --timeout-ms 5000 || fail "the plug-in did not publish its port within 5 s"

[ "$("$CTL" --timeout-ms 5000 language)" = en_US ] || fail "language is not en_US"
[ "$("$CTL" --timeout-ms 5000 script '6*7')" = 42 ] || fail "script 6*7 did not give 42"
"$CTL" --timeout-ms 5000 command 2004 || fail "command 2004 was refused"
journal_has_command() { grep '"call":"AEGP_DoCommand"' "$WORK/journal.jsonl" | grep -q 2004; }
until_true 5 "the journal to record AEGP_DoCommand 2004" journal_has_command

echo quit >&3
exec 3>&-
wait "$HOST_PID" || fail "the simulated host exited with $?"
HOST_PID=""
grep -q '"call":"EntryPointFunc"' "$WORK/journal.jsonl" || fail "the journal lacks the entry point"
echo "package test: $(basename "$DEB") unpacked and driven ($(wc -l <"$WORK/journal.jsonl") host calls journaled)"
