#!/usr/bin/env bash
# Runs a command while the system trusts a test CA, and only that long:
#
#   tests/audio/with_test_ca.sh CMD [ARGS...]
#
# The CA and the servers' certificates are made here (make_test_certs.py)
# into a folder named by NEONARA_TEST_CERTS for CMD. The CA goes into
# /usr/local/share/ca-certificates and update-ca-certificates (Wine reads
# the host's roots when its wineserver starts); it is taken out again when
# CMD ends, fails or is interrupted. Needs root (or sudo).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
as_root() { if [[ $EUID -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

certs=$(mktemp -d "${TMPDIR:-/tmp}/neonara-certs.XXXXXX")
chmod 755 "$certs"  # Icecast reads its certificate as nobody
anchor=/usr/local/share/ca-certificates/neonara-test-ca-$$.crt

untrust() {
  as_root rm -f "$anchor"
  as_root update-ca-certificates >/dev/null 2>&1
  rm -rf "$certs"
}
trap untrust EXIT
trap 'exit 130' INT TERM

python3 "$here/make_test_certs.py" "$certs" || { echo "with-test-ca: making the certificates failed" >&2; exit 1; }
as_root install -m 644 "$certs/ca.crt" "$anchor" &&
  as_root update-ca-certificates >/dev/null 2>&1 || { echo "with-test-ca: trusting the test CA failed" >&2; exit 1; }

NEONARA_TEST_CERTS=$certs "$@"
