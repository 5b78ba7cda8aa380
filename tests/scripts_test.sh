#!/usr/bin/env bash
# What scripts/setup.sh decides to install, shown by its --dry-run with the
# 32-bit probe stood in for both ways, and which stages scripts/test.sh runs
# and how it reports one that fails: nothing is installed, built or fetched.
#
#   tests/scripts_test.sh scripts/setup.sh scripts/test.sh
set -uo pipefail
setup=$1
test_command=$2
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
line() { grep -E "^$2: " <<<"$1" | sed "s/^$2: //"; } # PLAN FIELD
plan() { VANDRELL_SETUP_32BIT=$1 "$setup" --dry-run "${@:2}"; } # yes|no [--tests]

with=$(plan yes --tests) || fail "dry run with 32-bit programs exited $?"
without=$(plan no --tests) || fail "dry run without 32-bit programs exited $?"
base=$(plan yes) || fail "dry run of the default group exited $?"

# Where 32-bit programs run: the i386 architecture and 32-bit Wine, which is
# optional (its failure must not stop the set-up), and 64-bit Wine as well.
[ "$(line "$with" architectures)" = i386 ] || fail "32-bit kernel: architectures are '$(line "$with" architectures)', not i386"
[ "$(line "$with" 'optional packages without recommendations')" = wine32:i386 ] ||
  fail "32-bit kernel: wine32:i386 is not the one optional package"
grep -qw wine32:i386 <<<"$(line "$with" packages) $(line "$with" 'packages without recommendations')" &&
  fail "32-bit kernel: wine32:i386 is required, so a stale i386 index would stop the set-up"
grep -qw wine64 <<<"$(line "$with" 'packages without recommendations')" || fail "32-bit kernel: no wine64"

# Where they do not: nothing of i386 at all, not even the architecture.
grep -E '^(architectures|packages|packages without recommendations|optional packages without recommendations): ' <<<"$without" |
  grep -q i386 && fail "64-bit-only kernel: the plan still names i386: $(grep i386 <<<"$without")"
grep -qw wine64 <<<"$(line "$without" 'packages without recommendations')" || fail "64-bit-only kernel: no wine64"

# The rest of the tests group does not depend on the kernel.
[ "$(line "$with" packages)" = "$(line "$without" packages)" ] || fail "the required packages differ with the kernel"
grep -qw libgtest-dev <<<"$(line "$with" packages)" || fail "the tests group lacks libgtest-dev"
grep -qw lintian <<<"$(line "$with" packages)" || fail "the tests group lacks lintian, which the package stage runs"

# The default group builds and exports only: no test packages, no Wine, no i386.
grep -qw libassimp-dev <<<"$(line "$base" packages)" || fail "the default group lacks libassimp-dev"
grep -qwE 'libgtest-dev|wine|wine64|i386' <<<"$base" && fail "the default group installs test packages: $base"

# The stand-in switch counts only in a dry run; a value that is neither
# yes nor no is a usage error.
VANDRELL_SETUP_32BIT=maybe "$setup" --tests --dry-run >/dev/null 2>&1
[ $? -eq 2 ] || fail "VANDRELL_SETUP_32BIT=maybe is not refused"
probe=$("$setup" --tests --dry-run) || fail "dry run with the probe exited $?"
grep -qE '^setup: this kernel runs (no )?32-bit programs \(as a 32-bit program showed\)' <<<"$probe" ||
  fail "the probe's decision is not reported: $(head -n1 <<<"$probe")"

# The test command runs every stage unless told otherwise, in this order.
stages() { "$test_command" --dry-run "$@" 2>&1 | sed -n 's/^test.sh: would run "\(.*\)"$/\1/p' | paste -sd, -; }
all="set-up,build,tests,Windows cross-build,Wine tests,sanitizer build,sanitizer tests,memcheck,fuzzing"
all+=",Debian package,Windows zip,Windows zip in Wine"
[ "$(stages)" = "$all" ] || fail "test.sh runs '$(stages)', not every stage"
[ "$(stages --from memcheck)" = "memcheck,fuzzing,Debian package,Windows zip,Windows zip in Wine" ] ||
  fail "test.sh --from memcheck runs '$(stages --from memcheck)'"
[ "$(stages --only Memcheck --only=tests)" = "tests,memcheck" ] ||
  fail "test.sh --only Memcheck --only=tests runs '$(stages --only Memcheck --only=tests)'"
"$test_command" --only nothing --dry-run >/dev/null 2>&1
[ $? -eq 2 ] || fail "test.sh --only nothing is not a usage error"
"$test_command" --only tests --from build --dry-run >/dev/null 2>&1
[ $? -eq 2 ] || fail "test.sh --only with --from is not a usage error"

# A failed stage ends the run with one line naming it, and its status is the
# script's. A copy of the script in an empty tree has no build and no
# scripts: ctest fails there, and a missing script is status 127.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/scripts"
cp "$test_command" "$tree/scripts/test.sh"
last=$("$tree/scripts/test.sh" --only memcheck --only fuzzing 2>&1 | tail -n 1)
status=${PIPESTATUS[0]}
[[ "$last" =~ ^test.sh:\ stage\ \"memcheck\"\ failed\ \(exit\ 127\)\ after\ [0-9]+\ s$ ]] ||
  fail "a missing stage script ends with '$last'"
[ "$status" -eq 127 ] || fail "test.sh exits $status after a stage that exited 127"

[ $failures -eq 0 ] && echo "set-up and test command decisions: all checks passed"
exit $((failures > 0))
