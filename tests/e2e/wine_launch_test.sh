#!/usr/bin/env bash
# Starts GUI-subsystem programs through Wine from the Linux side, as the
# end-to-end scripts do, and checks what reaches this shell:
#   wine_launch_test.sh PROBE SCR
# PROBE writes one line to standard output, an error text to standard error
# and exits with -1; SCR (neonara.scr) with "/a" or an unknown switch prints
# nothing and exits with 0.
set -uo pipefail

probe=$1
scr=$2
run=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/wine-run
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

check() {  # check WHAT EXPECTED ACTUAL
  if [[ "$2" != "$3" ]]; then
    echo "FAIL: $1: expected $(printf %q "$2"), got $(printf %q "$3")"
    failed=1
  else
    echo "ok: $1"
  fi
}

NEONARA_QUIET=1 "$run" "$probe" >"$work/out" 2>"$work/err"
check "probe exit code" 255 "$?"
check "probe standard output" $'probe: standard output\r\nx' "$(cat "$work/out"; printf x)"
check "probe standard error" "probe: standard errorx" "$(cat "$work/err"; printf x)"

for switch in /a /x; do
  NEONARA_QUIET=1 "$run" "$scr" "$switch" >"$work/out" 2>"$work/err"
  check "neonara.scr $switch exit code" 0 "$?"
  check "neonara.scr $switch output" "" "$(cat "$work/out" "$work/err")"
done
exit $failed
