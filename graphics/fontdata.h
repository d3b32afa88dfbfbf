// The runtime's two built-in 8x16 bitmap fonts, "korvofont.bin" (the text
// font's fallback) and "gldrawtextfont.bin" (the OpenGL layer's debug text),
// compiled into every program that links the graphics library.
//
// Each is 1536 bytes: 16 rows of 96 bytes; byte j of row i holds row i of
// character 32 + j, bit k (least significant first) is pixel column k.
// The build makes them from a PSF console font of the build machine.
#pragma once
#include "runtime/string.h"

constexpr int kBitmapFontRows = 16;
constexpr int kBitmapFontChars = 96;  // characters 32 to 127
constexpr int kBitmapFontBytes = kBitmapFontRows * kBitmapFontChars;

String* KorvoFontName();        // "korvofont.bin"
String* GLDrawTextFontName();   // "gldrawtextfont.bin"

// Starts the RAM-stream module and registers both fonts, so that
// "incbin::korvofont.bin" and "incbin::gldrawtextfont.bin" open as streams.
// A font missing from the program or of the wrong size is a runtime error.
void StartFontDataModule();
