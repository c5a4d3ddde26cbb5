#include "app/io/ImageFile.h"

#include "framework/AtomicFile.h"

#include <png.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orvo {

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Conversion tables between file samples and document samples.
struct SampleMaps {
    std::vector<uint16_t> in16to16, in16to8, in8to16, out16to16, out16to8;
    SampleMaps() : in16to16(65536), in16to8(65536), in8to16(256), out16to16(32769), out16to8(32769)
    {
        for (uint32_t v = 0; v < 65536; ++v) {
            in16to16[v] = fileToDocument16(v);
            in16to8[v] = narrow16To8(in16to16[v]);
        }
        for (uint32_t v = 0; v < 256; ++v)
            in8to16[v] = widen8To16(v);
        for (uint32_t v = 0; v <= 32768; ++v) {
            out16to16[v] = documentToFile16(v);
            out16to8[v] = narrow16To8(v);
        }
    }
    static const SampleMaps& get()
    {
        static const SampleMaps maps;
        return maps;
    }
};

// One file row (channels 1..4: grey, grey+alpha, RGB, RGBA; samples uint8 or native uint16) into
// document row y and the alpha plane.
void storeRow(Picture& p, int32_t y, const void* row, int channels, int fileDepth)
{
    Document& d = p.document;
    const SampleMaps& m = SampleMaps::get();
    const bool hasAlpha = channels == 2 || channels == 4;
    const int colors = hasAlpha ? channels - 1 : channels;
    uint16_t* out = d.samples().data() + static_cast<size_t>(y) * static_cast<size_t>(d.width()) * 3;
    uint16_t* alpha = hasAlpha ? p.alpha.data() + static_cast<size_t>(y) * static_cast<size_t>(d.width()) : nullptr;
    auto convert = [&](auto* src, const uint16_t* map) {
        for (int32_t x = 0; x < d.width(); ++x, src += channels, out += 3) {
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = src[colors == 1 ? 0 : c];
                out[c] = map ? map[v] : static_cast<uint16_t>(v);
            }
            if (alpha)
                alpha[x] = src[colors];
        }
    };
    if (fileDepth == 8)
        convert(static_cast<const uint8_t*>(row), d.depth() == 16 ? m.in8to16.data() : nullptr);
    else
        convert(static_cast<const uint16_t*>(row), d.depth() == 16 ? m.in16to16.data() : m.in16to8.data());
}

// Document row y (and the alpha when channels is 4) as a file row of outDepth bits.
void loadRow(const Picture& p, int32_t y, void* row, int channels, int outDepth)
{
    const Document& d = p.document;
    const SampleMaps& m = SampleMaps::get();
    const uint16_t* in = d.samples().data() + static_cast<size_t>(y) * static_cast<size_t>(d.width()) * 3;
    const uint16_t* alpha =
        channels == 4 ? p.alpha.data() + static_cast<size_t>(y) * static_cast<size_t>(d.width()) : nullptr;
    const uint16_t* map = d.depth() == 8 ? nullptr : outDepth == 16 ? m.out16to16.data() : m.out16to8.data();
    auto alphaOut = [&](uint32_t a) -> uint32_t {
        if (p.alphaDepth == outDepth)
            return a;
        return outDepth == 16 ? a * 257u : (a * 255u + 32767u) / 65535u;
    };
    auto convert = [&](auto* dst) {
        using T = std::remove_pointer_t<decltype(dst)>;
        for (int32_t x = 0; x < d.width(); ++x, in += 3, dst += channels) {
            for (int c = 0; c < 3; ++c)
                dst[c] = static_cast<T>(map ? map[std::min<uint32_t>(in[c], 32768)] : in[c]);
            if (alpha)
                dst[3] = static_cast<T>(alphaOut(alpha[x]));
        }
    };
    if (outDepth == 8)
        convert(static_cast<uint8_t*>(row));
    else
        convert(static_cast<uint16_t*>(row));
}

void preparePicture(Picture& p, int32_t width, int32_t height, int fileDepth, int depth, bool alpha,
                    const std::string& path)
{
    if (width < 1 || height < 1 || width > Document::kMaxSide || height > Document::kMaxSide)
        throw ImageError(path + ": the image is " + std::to_string(width) + "x" + std::to_string(height) +
                         " pixels; each side must be 1.." + std::to_string(Document::kMaxSide));
    p.fileDepth = fileDepth;
    p.document = Document(width, height, depth ? depth : fileDepth);
    p.alphaDepth = fileDepth;
    p.alpha.clear();
    if (alpha)
        p.alpha.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openForReading(const std::string& path)
{
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f)
        throw ImageError(path + ": cannot open: " + std::strerror(errno));
    return f;
}

// ---- PNG ----

struct PngErrors {
    char message[256] = "";
};

void pngError(png_structp png, png_const_charp text)
{
    auto* e = static_cast<PngErrors*>(png_get_error_ptr(png));
    std::snprintf(e->message, sizeof e->message, "%s", text ? text : "error");
    png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

struct PngReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadState() { png_destroy_read_struct(&png, &info, nullptr); }
};

// The libpng calls of a read; returns false (message in errors) when libpng reports an error. No
// object with a destructor lives in this frame, so the error jump skips nothing.
bool pngReadRows(PngReadState& s, std::FILE* file, Picture& p, int depth, const std::string& path,
                 std::vector<uint8_t>& rows, PngErrors& errors)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_init_io(s.png, file);
    png_set_user_limits(s.png, Document::kMaxSide, Document::kMaxSide);
    png_read_info(s.png, s.info);
    png_set_expand(s.png); // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_gray_to_rgb(s.png);
    if (png_get_bit_depth(s.png, s.info) == 16)
        png_set_swap(s.png);
    const int passes = png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    const int channels = png_get_channels(s.png, s.info);
    const int fileDepth = png_get_bit_depth(s.png, s.info);
    const auto width = static_cast<int32_t>(png_get_image_width(s.png, s.info));
    const auto height = static_cast<int32_t>(png_get_image_height(s.png, s.info));
    try {
        preparePicture(p, width, height, fileDepth, depth, channels == 4, path);
    } catch (const ImageError& e) {
        std::snprintf(errors.message, sizeof errors.message, "%s", e.what());
        return false;
    }
    const size_t rowBytes = png_get_rowbytes(s.png, s.info);
    // An interlaced file is assembled in a buffer of all rows; others stream row by row.
    rows.assign(rowBytes * (passes > 1 ? static_cast<size_t>(height) : 1), 0);
    for (int pass = 0; pass < passes; ++pass)
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = rows.data() + (passes > 1 ? static_cast<size_t>(y) * rowBytes : 0);
            png_read_row(s.png, row, nullptr);
            if (passes == 1)
                storeRow(p, y, row, channels, fileDepth);
        }
    if (passes > 1)
        for (int32_t y = 0; y < height; ++y)
            storeRow(p, y, rows.data() + static_cast<size_t>(y) * rowBytes, channels, fileDepth);
    png_read_end(s.png, nullptr);
    return true;
}

Picture readPng(const std::string& path, std::FILE* file, int depth)
{
    PngErrors errors;
    PngReadState s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, pngError, pngWarning);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    if (!s.info)
        throw ImageError(path + ": out of memory");
    Picture p;
    std::vector<uint8_t> rows;
    if (!pngReadRows(s, file, p, depth, path, rows, errors))
        throw ImageError(std::strncmp(errors.message, path.c_str(), path.size()) == 0
                             ? std::string(errors.message)
                             : path + ": not a valid PNG file: " + errors.message);
    return p;
}

struct PngWriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteState() { png_destroy_write_struct(&png, &info); }
};

// 1 written, 0 cancelled, -1 libpng error.
int pngWriteRows(PngWriteState& s, std::FILE* file, const Picture& p, int level, uint8_t* row,
                 const std::function<bool()>& cancelled)
{
    if (setjmp(png_jmpbuf(s.png)))
        return -1;
    const Document& d = p.document;
    const bool alpha = !p.alpha.empty();
    png_init_io(s.png, file);
    png_set_compression_level(s.png, level);
    if (level <= 2)
        png_set_filter(s.png, 0, PNG_FILTER_SUB);
    png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(d.width()), static_cast<png_uint_32>(d.height()),
                 d.depth(), alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(s.png, s.info);
    if (d.depth() == 16)
        png_set_swap(s.png);
    for (int32_t y = 0; y < d.height(); ++y) {
        if (cancelled && (y & 63) == 0 && cancelled())
            return 0;
        loadRow(p, y, row, alpha ? 4 : 3, d.depth());
        png_write_row(s.png, row);
    }
    png_write_end(s.png, nullptr);
    return 1;
}

bool writePng(fx::AtomicFile& file, const Picture& p, const WriteOptions& o, const std::function<bool()>& cancelled)
{
    PngErrors errors;
    PngWriteState s;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, pngError, pngWarning);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    if (!s.info)
        throw ImageError(file.path() + ": out of memory");
    std::vector<uint8_t> row(static_cast<size_t>(p.document.width()) * 4 * 2);
    const int r = pngWriteRows(s, file.stream(), p, std::clamp(o.pngLevel, 0, 9), row.data(), cancelled);
    if (r < 0)
        throw ImageError(file.path() + ": cannot write PNG: " + errors.message);
    return r == 1;
}

// ---- JPEG ----

struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = "";
};

void jpegError(j_common_ptr cinfo)
{
    auto* e = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->message);
    std::longjmp(e->jump, 1);
}
void jpegMessage(j_common_ptr, int) {}

bool jpegReadRows(jpeg_decompress_struct& c, JpegErrors& errors, std::FILE* file, Picture& p, int depth,
                  const std::string& path, std::vector<uint8_t>& row)
{
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&c);
    jpeg_stdio_src(&c, file);
    jpeg_read_header(&c, TRUE);
    if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK) {
        std::snprintf(errors.message, sizeof errors.message, "CMYK JPEG files are not supported");
        return false;
    }
    c.out_color_space = JCS_RGB;
    jpeg_start_decompress(&c);
    try {
        preparePicture(p, static_cast<int32_t>(c.output_width), static_cast<int32_t>(c.output_height), 8, depth,
                       false, path);
        row.resize(static_cast<size_t>(c.output_width) * 3);
    } catch (const ImageError& e) {
        std::snprintf(errors.message, sizeof errors.message, "%s", e.what());
        return false;
    }
    while (c.output_scanline < c.output_height) {
        const auto y = static_cast<int32_t>(c.output_scanline);
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&c, &r, 1);
        storeRow(p, y, row.data(), 3, 8);
    }
    jpeg_finish_decompress(&c);
    return true;
}

Picture readJpeg(const std::string& path, std::FILE* file, int depth)
{
    jpeg_decompress_struct c{};
    JpegErrors errors;
    c.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = jpegError;
    errors.mgr.emit_message = jpegMessage;
    Picture p;
    std::vector<uint8_t> row;
    const bool ok = jpegReadRows(c, errors, file, p, depth, path, row);
    jpeg_destroy_decompress(&c);
    if (!ok)
        throw ImageError(std::strncmp(errors.message, path.c_str(), path.size()) == 0
                             ? std::string(errors.message)
                             : path + ": not a valid JPEG file: " + errors.message);
    return p;
}

int jpegWriteRows(jpeg_compress_struct& c, JpegErrors& errors, std::FILE* file, const Picture& p, int quality,
                  uint8_t* row, const std::function<bool()>& cancelled)
{
    if (setjmp(errors.jump))
        return -1;
    const Document& d = p.document;
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = static_cast<JDIMENSION>(d.width());
    c.image_height = static_cast<JDIMENSION>(d.height());
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int32_t y = 0; y < d.height(); ++y) {
        if (cancelled && (y & 63) == 0 && cancelled())
            return 0;
        loadRow(p, y, row, 3, 8);
        JSAMPROW r = row;
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    return 1;
}

bool writeJpeg(fx::AtomicFile& file, const Picture& p, const WriteOptions& o, const std::function<bool()>& cancelled)
{
    jpeg_compress_struct c{};
    JpegErrors errors;
    c.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = jpegError;
    errors.mgr.emit_message = jpegMessage;
    std::vector<uint8_t> row(static_cast<size_t>(p.document.width()) * 3);
    const int r = jpegWriteRows(c, errors, file.stream(), p, o.jpegQuality, row.data(), cancelled);
    jpeg_destroy_compress(&c);
    if (r < 0)
        throw ImageError(file.path() + ": cannot write JPEG: " + errors.message);
    return r == 1;
}

// ---- TIFF ----

thread_local std::string tiffMessage;

void tiffError(const char* module, const char* format, va_list args)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, format, args);
    tiffMessage = module ? std::string(module) + ": " + buf : std::string(buf);
}

struct TiffCloser {
    void operator()(TIFF* t) const
    {
        if (t)
            TIFFClose(t);
    }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

void installTiffHandlers()
{
    static const bool installed = [] {
        TIFFSetErrorHandler(tiffError);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)installed;
}

Picture readTiff(const std::string& path, int depth)
{
    installTiffHandlers();
    tiffMessage.clear();
    TiffPtr t(TIFFOpen(path.c_str(), "r"));
    auto fail = [&](const std::string& why) {
        return ImageError(path + ": " + why + (tiffMessage.empty() ? "" : " (" + tiffMessage + ")"));
    };
    if (!t)
        throw fail("not a valid TIFF file");
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, photometric = PHOTOMETRIC_RGB, format = 1;
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    if (!TIFFGetField(t.get(), TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK;
    const int colors = grey ? 1 : 3;
    if ((bits != 8 && bits != 16) || format != SAMPLEFORMAT_UINT || (!grey && photometric != PHOTOMETRIC_RGB) ||
        samples < colors || samples > colors + 1 || planar != PLANARCONFIG_CONTIG || TIFFIsTiled(t.get()))
        throw fail("unsupported TIFF layout (" + std::to_string(samples) + " samples of " + std::to_string(bits) +
                   " bits; only contiguous, striped grey or RGB images of 8 or 16 bits, with or without alpha, are read)");
    if (width > static_cast<uint32_t>(Document::kMaxSide) || height > static_cast<uint32_t>(Document::kMaxSide))
        throw fail("the image is too large");
    Picture p;
    preparePicture(p, static_cast<int32_t>(width), static_cast<int32_t>(height), bits, depth, samples > colors, path);
    const tmsize_t scanline = TIFFScanlineSize(t.get());
    const size_t needed = static_cast<size_t>(width) * samples * (bits / 8);
    if (scanline < 0 || static_cast<size_t>(scanline) < needed)
        throw fail("inconsistent TIFF row size");
    std::vector<uint8_t> row(static_cast<size_t>(scanline));
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(t.get(), row.data(), y, 0) < 0)
            throw fail("cannot read row " + std::to_string(y));
        storeRow(p, static_cast<int32_t>(y), row.data(), samples, bits);
    }
    return p;
}

bool writeTiff(fx::AtomicFile& file, const Picture& p, const std::function<bool()>& cancelled)
{
    installTiffHandlers();
    tiffMessage.clear();
    const Document& d = p.document;
    // libtiff writes by name: the temporary is closed before the library opens it again.
    file.closeStream();
    TiffPtr t(TIFFOpen(file.tempPath().c_str(), "w"));
    auto fail = [&](const char* why) {
        return ImageError(file.path() + ": " + why + (tiffMessage.empty() ? "" : " (" + tiffMessage + ")"));
    };
    if (!t)
        throw fail("cannot write TIFF");
    const bool alpha = !p.alpha.empty();
    const uint16_t samples = alpha ? 4 : 3;
    TIFFSetField(t.get(), TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(d.width()));
    TIFFSetField(t.get(), TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(d.height()));
    TIFFSetField(t.get(), TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(d.depth()));
    TIFFSetField(t.get(), TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t.get(), 0));
    if (alpha) {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t.get(), TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    std::vector<uint8_t> row(static_cast<size_t>(d.width()) * samples * 2);
    for (int32_t y = 0; y < d.height(); ++y) {
        if (cancelled && (y & 63) == 0 && cancelled())
            return false;
        loadRow(p, y, row.data(), samples, d.depth());
        if (TIFFWriteScanline(t.get(), row.data(), static_cast<uint32_t>(y), 0) < 0)
            throw fail("cannot write TIFF");
    }
    if (!TIFFFlush(t.get()))
        throw fail("cannot write TIFF");
    return true;
}

} // namespace

std::optional<ImageFormat> formatForPath(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    const std::string ext = lower(path.substr(dot + 1));
    if (ext == "png")
        return ImageFormat::Png;
    if (ext == "jpg" || ext == "jpeg")
        return ImageFormat::Jpeg;
    if (ext == "tif" || ext == "tiff")
        return ImageFormat::Tiff;
    return std::nullopt;
}

const char* formatName(ImageFormat f)
{
    switch (f) {
    case ImageFormat::Png: return "PNG";
    case ImageFormat::Jpeg: return "JPEG";
    case ImageFormat::Tiff: return "TIFF";
    }
    return "?";
}

Picture readImage(const std::string& path, int depth)
{
    if (depth != 0 && depth != 8 && depth != 16)
        throw ImageError("depth must be 8 or 16");
    FilePtr file = openForReading(path);
    unsigned char magic[8] = {};
    const size_t n = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    if (n == 8 && png_sig_cmp(magic, 0, 8) == 0)
        return readPng(path, file.get(), depth);
    if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
        return readJpeg(path, file.get(), depth);
    if (n >= 4 && ((magic[0] == 'I' && magic[1] == 'I' && (magic[2] == 42 || magic[2] == 43) && magic[3] == 0) ||
                   (magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && (magic[3] == 42 || magic[3] == 43)))) {
        file.reset();
        return readTiff(path, depth);
    }
    throw ImageError(path + ": not a PNG, JPEG or TIFF file");
}

bool writeImage(const std::string& path, const Picture& picture, const WriteOptions& options,
                const std::function<bool()>& cancelled)
{
    const auto format = formatForPath(path);
    if (!format)
        throw ImageError(path + ": unknown output format (use .png, .jpg, .jpeg, .tif or .tiff)");
    fx::AtomicFile file(path);
    std::string error;
    if (!file.open(&error))
        throw ImageError(error);
    bool written = false;
    switch (*format) {
    case ImageFormat::Png: written = writePng(file, picture, options, cancelled); break;
    case ImageFormat::Jpeg: written = writeJpeg(file, picture, options, cancelled); break;
    case ImageFormat::Tiff: written = writeTiff(file, picture, cancelled); break;
    }
    if (!written)
        return false; // the AtomicFile removes the temporary
    if (!file.commit(&error))
        throw ImageError(error);
    return true;
}

} // namespace orvo
