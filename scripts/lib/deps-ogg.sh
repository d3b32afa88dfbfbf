# Ogg Vorbis for the audio engine: libogg and libvorbis cross-built from
# Debian's source packages, as the other libraries (sourced by scripts/bootstrap).
build_libogg() {
  build_autotools libogg libogg libogg.a 1
}

build_libvorbis() {
  build_libogg
  build_autotools libvorbis libvorbis libvorbisfile.a 1 --with-ogg="$DEPS" --disable-docs --disable-examples
}
