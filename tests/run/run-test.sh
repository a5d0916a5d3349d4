#!/usr/bin/env bash
# ./run test's steps with their work replaced: a failed setup stops before anything is built or
# tested, and a long step shows its log's progress as it goes.
set -uo pipefail
ROOT_UNDER_TEST="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d)"
# Only the test's own shell cleans up, not the background loops that it starts.
trap '[ "$BASHPID" = "$$" ] && rm -rf "$work"' EXIT
# shellcheck source=/dev/null
# With an argument that is no command: should main run here, it exits 2.
source "$ROOT_UNDER_TEST/run" --
set +e
ROOT="$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A setup that fails: no later step may run.
cmd_setup() { echo "E: Unable to locate package nosuchpackage"; return 1; }
check_format() { echo format >>"$work/ran"; }
check_without_fuzz_compiler() { echo configure >>"$work/ran"; }
cmd_build() { echo "build $1" >>"$work/ran"; }
ctest() { echo test >>"$work/ran"; }
memcheck() { echo memcheck >>"$work/ran"; }
cmd_test >"$work/out" 2>&1 && fail "cmd_test succeeded after a failed setup"
[ -e "$work/ran" ] && fail "steps ran after a failed setup: $(tr '\n' ' ' <"$work/ran")"
grep -q "Unable to locate package nosuchpackage" "$work/out" || fail "the setup error is not shown"

# A user with neither root nor sudo: told so at once, with the packages that are missing, and
# apt-get is never tried (no PATH: sudo cannot be found).
id() { echo 1000; }
dpkg-query() { return 1; }
apt-get() { echo apt-get >>"$work/ran"; }
mkdir "$work/empty"
PATH="$work/empty" install_packages cmake duktape-dev >"$work/out" 2>&1 &&
  fail "install_packages succeeded without root or sudo"
unset -f id dpkg-query apt-get
grep -q "needs root or sudo.*missing: cmake duktape-dev" "$work/out" ||
  fail "no word of root and the missing packages: $(cat "$work/out")"
grep -q "apt-get" "$work/ran" 2>/dev/null && fail "apt-get was run without root or sudo"

# A step that builds for a while: its ninja lines appear while it runs.
SUMMARY=()
slow_build() {
  for i in 1 2 3; do
    echo "[$i/3] Building CXX object step$i.o"
    # Until the progress has shown this line (a deadline of a few seconds, not a fixed pause).
    for _ in $(seq 100); do grep -q "\[$i/3\]" "$work/shown" 2>/dev/null && break; sleep 0.05; done
  done
}
RUN_PROGRESS_SECONDS=0.1 step "slow build" slow_build 2>"$work/shown"
for i in 1 2 3; do
  grep -q "\[$i/3\] Building CXX object step$i.o" "$work/shown" || fail "[$i/3] was not shown"
done
[ "$failures" -eq 0 ] && echo "run: all checks passed"
exit "$failures"
