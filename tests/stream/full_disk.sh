#!/bin/sh
# Runs the FullDisk tests of the streams test program against a really full
# disk: a 64 KiB tmpfs mounted here (root only), reached from Wine through
# the Z: drive and handed to the tests in NEONARA_FULL_DISK_DIR. When the
# mount is not possible the tests run without it and skip, saying why.
#
#   full_disk.sh WINE-RUN TEST-PROGRAM
set -u
runner=$1
program=$2

dir=$(mktemp -d "${TMPDIR:-/tmp}/neonara-full-disk.XXXXXX") || exit 1
mounted=0
cleanup() {
  if [ "$mounted" = 1 ]; then umount "$dir" 2>/dev/null || umount -l "$dir"; fi
  rmdir "$dir" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

if mount -t tmpfs -o size=64k,mode=0777 tmpfs "$dir" 2>"$dir.err"; then
  mounted=1
  NEONARA_FULL_DISK_DIR=$dir
  export NEONARA_FULL_DISK_DIR
else
  echo "full_disk: no tmpfs mount ($(cat "$dir.err")): the FullDisk tests skip"
  unset NEONARA_FULL_DISK_DIR
fi
rm -f "$dir.err"

"$runner" "$program" --gtest_filter='FullDisk.*'
rc=$?
exit $rc
