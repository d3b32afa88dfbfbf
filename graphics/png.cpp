#include "graphics/png.h"

#include <png.h>

#include <climits>
#include <csetjmp>
#include <vector>

#include "runtime/startup.h"
#include "stream/stream.h"

KV_DEFINE_CLASS(TPixmapLoaderPNG, TPixmapLoader);

// How the pieces meet libpng's longjmp error path:
//  - libpng reports a fatal error by longjmp to the setjmp of the call in
//    progress. Only ReadPngHeader, ReadPngRows and WritePng set one, and
//    they are plain C-like functions: no object with a destructor, no Ref, no
//    try block lives in their frames or in the callbacks' frames, so the jump
//    skips nothing that needs cleaning up;
//  - the callbacks never let a C++ exception into libpng's frames: the stream
//    calls run inside a try block of their own that has ended before the
//    callback reports the failure with png_error;
//  - everything with a destructor (the stream, the libpng structures, the
//    row table, the pixmap being filled) lives in the calling C++ frames
//    above the setjmp, and is cleaned up there on every path.

namespace {

// The stream of the call in progress, for the callbacks; the null object
// between calls.
Ref<TStream> pngStream;

// Sets the callbacks' stream for one call and puts the previous one back.
class PngStreamScope {
public:
    explicit PngStreamScope(TStream* stream) : previous_(pngStream) { pngStream = stream; }
    ~PngStreamScope() { pngStream = previous_; }
    PngStreamScope(const PngStreamScope&) = delete;
    PngStreamScope& operator=(const PngStreamScope&) = delete;

private:
    Ref<TStream> previous_;
};

// ---- stream access that never throws ----

// Bytes that arrived, up to count; a stream that fails or ends gives fewer.
int ReadFromStream(void* buffer, int count) noexcept {
    int done = 0;
    try {
        TStream* stream = pngStream;
        unsigned char* at = static_cast<unsigned char*>(buffer);
        while (done < count) {
            int n = stream->Read(at + done, count - done);
            if (n <= 0) break;
            done += n;
        }
    } catch (...) {
    }
    return done;
}

bool WriteToStream(const void* buffer, int count) noexcept {
    try {
        TStream* stream = pngStream;
        const unsigned char* at = static_cast<const unsigned char*>(buffer);
        int done = 0;
        while (done < count) {
            int n = stream->Write(at + done, count - done);
            if (n <= 0) return false;
            done += n;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool FlushToStream() noexcept {
    try {
        return pngStream->Flush() == 0;
    } catch (...) {
        return false;
    }
}

// ---- libpng callbacks ----

// A short read is an error: decoding bytes that never arrived would make
// an image of whatever the buffer held.
void PNGCBAPI ReadCallback(png_structp png, png_bytep data, size_t length) {
    if (length > INT_MAX || ReadFromStream(data, static_cast<int>(length)) != static_cast<int>(length)) {
        png_error(png, "read error");
    }
}

void PNGCBAPI WriteCallback(png_structp png, png_bytep data, size_t length) {
    if (length > INT_MAX || !WriteToStream(data, static_cast<int>(length))) png_error(png, "write error");
}

void PNGCBAPI FlushCallback(png_structp png) {
    if (!FlushToStream()) png_error(png, "flush error");
}

// Fatal errors end the call quietly (its result says it failed); warnings
// about recoverable damage are ignored.
void PNGCBAPI QuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PNGCBAPI QuietWarning(png_structp, png_const_charp) {}

// ---- reading ----

// Plain data shared by the C++ side and the setjmp-guarded calls.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colorType = 0;  // after the transformations
    int bitDepth = 0;
    size_t rowBytes = 0;
};

// Reads the header and sets up the transformations: 16-bit samples to 8,
// palettes and low-bit grey expanded, transparency chunks to alpha, grey
// with alpha to RGBA, interlaced passes combined.
bool ReadPngHeader(PngRead* r) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    png_set_sig_bytes(r->png, 8);
    png_set_read_fn(r->png, nullptr, ReadCallback);
    png_set_user_limits(r->png, kMaxPngSide, kMaxPngSide);
    png_read_info(r->png, r->info);
    int colorType = png_get_color_type(r->png, r->info);
    bool transparency = png_get_valid(r->png, r->info, PNG_INFO_tRNS) != 0;
    png_set_strip_16(r->png);
    png_set_expand(r->png);
    if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA || (colorType == PNG_COLOR_TYPE_GRAY && transparency)) {
        png_set_gray_to_rgb(r->png);
    }
    png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);
    r->width = png_get_image_width(r->png, r->info);
    r->height = png_get_image_height(r->png, r->info);
    r->colorType = png_get_color_type(r->png, r->info);
    r->bitDepth = png_get_bit_depth(r->png, r->info);
    r->rowBytes = png_get_rowbytes(r->png, r->info);
    return true;
}

bool ReadPngRows(PngRead* r, png_bytepp rows) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    png_read_image(r->png, rows);
    png_read_end(r->png, nullptr);
    return true;
}

// Owns the libpng read structures.
class PngReader {
public:
    PngReader() {
        state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
        if (state.png) state.info = png_create_info_struct(state.png);
    }
    ~PngReader() {
        if (state.png) png_destroy_read_struct(&state.png, state.info ? &state.info : nullptr, nullptr);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool Ready() const { return state.png && state.info; }

    PngRead state;
};

// The pixmap format of the decoded rows; 0 for anything else.
int FormatOfRows(const PngRead& r) {
    if (r.bitDepth != 8) return 0;
    switch (r.colorType) {
        case PNG_COLOR_TYPE_GRAY:
            return PF_I8;
        case PNG_COLOR_TYPE_RGB:
            return PF_RGB888;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return PF_RGBA8888;
        default:
            return 0;
    }
}

// Checks the decoded size against the limits and the row length libpng
// will write against the pixmap's rows.
bool Acceptable(const PngRead& r, int format) {
    int64_t rowBytes = static_cast<int64_t>(r.width) * PixelFormatBytes(format);
    return r.width > 0 && r.height > 0 && r.width <= kMaxPngSide && r.height <= kMaxPngSide &&
           rowBytes * r.height <= kMaxPngPixelBytes && static_cast<int64_t>(r.rowBytes) == rowBytes;
}

TPixmap* DecodePng(PngRead& r) {
    if (!ReadPngHeader(&r)) return NullOf<TPixmap>();
    int format = FormatOfRows(r);
    if (format == 0 || !Acceptable(r, format)) return NullOf<TPixmap>();
    int width = static_cast<int>(r.width);
    int height = static_cast<int>(r.height);
    // Held by a counted reference while libpng writes through the row table,
    // which lives where the collector does not look.
    Ref<TPixmap> pixmap = CreatePixmap(width, height, format, 4);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = pixmap->PixelPtr(0, y);
    if (!ReadPngRows(&r, rows.data())) return NullOf<TPixmap>();
    return pixmap;
}

// ---- writing ----

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colorType = 0;
    int transforms = 0;
    int level = 0;
    png_bytepp rows = nullptr;
};

bool WritePng(PngWrite* w) {
    if (setjmp(png_jmpbuf(w->png))) return false;
    png_set_write_fn(w->png, nullptr, WriteCallback, FlushCallback);
    png_set_compression_level(w->png, w->level);
    png_set_IHDR(w->png, w->info, w->width, w->height, 8, w->colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(w->png, w->info, w->rows);
    png_write_png(w->png, w->info, w->transforms, nullptr);
    return true;
}

// Owns the libpng write structures.
class PngWriter {
public:
    PngWriter() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
        if (png) info = png_create_info_struct(png);
    }
    ~PngWriter() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    bool Ready() const { return png && info; }

    png_structp png = nullptr;
    png_infop info = nullptr;
};

// Closes the stream once: explicitly, to learn whether its last bytes made
// it out, or when the scope ends on any other path.
class StreamClosing {
public:
    explicit StreamClosing(TStream* stream) : stream_(stream) {}
    ~StreamClosing() {
        if (!stream_) return;
        try {
            stream_->Close();
        } catch (...) {
        }
    }
    StreamClosing(const StreamClosing&) = delete;
    StreamClosing& operator=(const StreamClosing&) = delete;

    bool Close() {
        TStream* stream = stream_;
        stream_ = nullptr;
        try {
            return stream->Close() == 0;
        } catch (...) {
            return false;
        }
    }

private:
    TStream* stream_;
};

}  // namespace

// ---- the loader and the module functions ----

TPixmap* TPixmapLoaderPNG::LoadPixmap(TStream* stream) { return LoadPixmapPNG(stream); }

TPixmap* LoadPixmapPNG(Object* url) {
    TStream* stream = ReadStream(url);
    if (IsNull(stream)) return NullOf<TPixmap>();
    StreamCloser closer(stream);
    PngStreamScope scope(stream);
    png_byte signature[8];
    if (ReadFromStream(signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0) return NullOf<TPixmap>();
    PngReader reader;
    if (!reader.Ready()) return NullOf<TPixmap>();
    return DecodePng(reader.state);
}

bool SavePixmapPNG(TPixmap* pixmap, Object* url, int compression) {
    Checked(pixmap);
    TStream* stream = WriteStream(url);
    if (IsNull(stream)) return false;
    StreamClosing closing(stream);
    PngStreamScope scope(stream);
    PngWrite w;
    Ref<TPixmap> rowsOf = pixmap;  // the pixmap whose rows are written, kept alive
    switch (pixmap->format) {
        case PF_I8:
            w.colorType = PNG_COLOR_TYPE_GRAY;
            break;
        case PF_RGB888:
            w.colorType = PNG_COLOR_TYPE_RGB;
            break;
        case PF_BGR888:
            w.colorType = PNG_COLOR_TYPE_RGB;
            w.transforms = PNG_TRANSFORM_BGR;
            break;
        case PF_RGBA8888:
            w.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
            break;
        case PF_BGRA8888:
            w.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
            w.transforms = PNG_TRANSFORM_BGR;
            break;
        default:
            rowsOf = pixmap->Convert(PF_RGBA8888);
            w.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    }
    int height = rowsOf->height;
    std::vector<png_bytep> rows(static_cast<size_t>(height > 0 ? height : 0));
    for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = rowsOf->PixelPtr(0, y);
    PngWriter writer;
    if (!writer.Ready()) return false;
    w.png = writer.png;
    w.info = writer.info;
    w.width = static_cast<png_uint_32>(rowsOf->width > 0 ? rowsOf->width : 0);
    w.height = static_cast<png_uint_32>(height > 0 ? height : 0);
    w.level = compression < 0 ? -1 : compression > 9 ? 9 : compression;  // -1: zlib's default
    w.rows = rows.data();
    bool written = WritePng(&w);
    return closing.Close() && written;
}

void StartPngModule() {
    KV_START_ONCE();
    StartPixmapModule();
    StartStreamModule();
    RegisterClass(&TPixmapLoaderPNG::classRecord);
    new TPixmapLoaderPNG();
}
