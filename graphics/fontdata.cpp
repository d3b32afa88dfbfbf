// Built into the object library kv_fontdata together with the fonts' bytes
// (see graphics/CMakeLists.txt), so that a program that starts this module
// always carries the fonts too.
#include "graphics/fontdata.h"

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "stream/ramstream.h"

String* KorvoFontName() { return u"korvofont.bin"_s; }
String* GLDrawTextFontName() { return u"gldrawtextfont.bin"_s; }

static void RegisterFont(const char* name) {
    const EmbeddedFile* file = FindEmbeddedFile(name);
    if (!file) FormatRuntimeError("Built-in font %s is missing", name);
    if (file->length != kBitmapFontBytes) FormatRuntimeError("Built-in font %s has the wrong size", name);
    IncbinAdd(String::FromCString(name), file->data, file->length);
}

void StartFontDataModule() {
    KV_START_ONCE();
    StartRamStreamModule();
    RegisterFont("korvofont.bin");
    RegisterFont("gldrawtextfont.bin");
}
