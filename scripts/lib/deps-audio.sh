# The audio engine's extra dependency, sourced by scripts/bootstrap after its
# helpers (source_version, stamp_ok, unpack_source, say, die) are defined:
#
#   build_kissfft
#
# KISS FFT (Debian source package kissfft; Debian ships it only as Linux
# libraries) cross-built as a static float library: $DEPS/lib/libkissfft-float.a
# with its headers in $DEPS/include/kissfft/.  Rebuilt when the Debian version
# or this recipe changes.

build_kissfft() {
  local name=kissfft lib=libkissfft-float.a recipe=1
  local version want t0=$SECONDS work src
  version=$(source_version kissfft)
  want="$version recipe $recipe"
  if stamp_ok "$name" "$want" "$lib"; then
    say "$name $version ok"
    return 0
  fi
  say "building $name $version (log: $LOGS/kissfft.log)"
  : >"$LOGS/kissfft.log"
  work=$CACHE/build/$name
  rm -rf "$work"
  src=$(unpack_source kissfft "$work" "$version")
  # Cross-building, its CMake file leaves the install folders unset: they
  # are given here, or the headers would land in /kissfft.
  (
    cmake -S "$src" -B "$work/build" \
      -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DNEONARA_DEPS="$DEPS" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -g0" \
      -DCMAKE_INSTALL_PREFIX="$DEPS" \
      -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include -DCMAKE_INSTALL_BINDIR=bin \
      -DKISSFFT_DATATYPE=float -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF \
      -DKISSFFT_TOOLS=OFF -DKISSFFT_PKGCONFIG=OFF -DKISSFFT_OPENMP=OFF
    cmake --build "$work/build" -j"$JOBS"
    cmake --install "$work/build"
  ) >>"$LOGS/kissfft.log" 2>&1 || { tail -n 30 "$LOGS/kissfft.log" >&2; die "building $name failed"; }
  [[ -f "$DEPS/lib/$lib" && -f "$DEPS/include/kissfft/kiss_fftr.h" ]] ||
    die "$name installed no lib/$lib or include/kissfft/kiss_fftr.h"
  echo "$want" >"$STAMPS/$name"
  rm -rf "$work"
  say "$name $version built in $((SECONDS - t0)) s"
}
