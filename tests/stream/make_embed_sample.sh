#!/bin/sh
# Writes the embedding test's sample file: 4099 bytes, byte i = (7 i + 3) mod 256,
# so every value 0..255 (NUL included) occurs and the length is no multiple of 16.
set -eu
out=$1
i=0
: >"$out.tmp"
while [ $i -lt 4099 ]; do
  printf "\\$(printf '%03o' $(( (7 * i + 3) % 256 )))"
  i=$((i + 1))
done >>"$out.tmp"
mv "$out.tmp" "$out"
