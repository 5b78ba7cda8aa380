# shellcheck shell=bash
# Sourced by the scripts that fetch from a mirror: a mirror in the middle of
# a sync serves files that do not match its index for a while, and another
# try a little later often gets consistent ones. The sourcing script
# defines say MESSAGE, which tells the user.

# retry ATTEMPTS PAUSE WHAT COMMAND...: runs COMMAND until it succeeds, at
# most ATTEMPTS times, waiting N x PAUSE seconds after the Nth failure and
# saying so ("WHAT failed (try N of M); trying again in S s"). Returns 0 on
# a success, otherwise COMMAND's last status, with nothing said about the
# last failure: what it means is for the caller to say.
retry() {
  local attempts=$1 pause=$2 what=$3 attempt status
  shift 3
  for ((attempt = 1; ; attempt++)); do
    "$@" && return 0
    status=$?
    [ "$attempt" -lt "$attempts" ] || return "$status"
    say "$what failed (try $attempt of $attempts); trying again in $((attempt * pause)) s"
    sleep $((attempt * pause))
  done
}
