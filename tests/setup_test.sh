#!/usr/bin/env bash
# What scripts/setup.sh decides to install, shown by its --dry-run with the
# 32-bit probe stood in for both ways: nothing is installed and no network is
# needed.
#
#   tests/setup_test.sh scripts/setup.sh
set -uo pipefail
setup=$1
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

[ $failures -eq 0 ] && echo "set-up decisions: all checks passed"
exit $((failures > 0))
