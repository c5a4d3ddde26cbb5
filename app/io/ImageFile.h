#pragma once

// Image files in and out of host documents: PNG (8/16-bit, grey or RGB, with or without alpha),
// JPEG (8-bit), TIFF (8/16-bit). Rows stream between the file and the document; no second copy of
// the image is held.
//
// 16-bit files map 0..65535 to the document's 0..32768 on load as v' = (v * 32768 + 32767) / 65535
// and back on save as v = (v' * 65535 + 16384) / 32768 (integer divisions), so every document value
// survives a save and a load exactly. 8-bit samples enter a 16-bit document as (v * 32768 + 127) / 255
// and leave it as (v' * 255 + 16384) / 32768. Grey files become RGB documents.

#include "app/core/Document.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo {

struct ImageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class ImageFormat { Png, Jpeg, Tiff };

// By extension, case-insensitively: .png; .jpg, .jpeg; .tif, .tiff. nullopt for anything else.
std::optional<ImageFormat> formatForPath(const std::string& path);
const char* formatName(ImageFormat f);

// An image file's content: the RGB document and, when the file has one, its alpha channel, kept
// as the file stores it (not document data: filters never see it).
struct Picture {
    Document document{1, 1, 8};
    int fileDepth = 8;               // bits per sample in the file
    std::vector<uint16_t> alpha;     // width x height samples at alphaDepth bits, or empty
    int alphaDepth = 8;
};

// Reads a PNG, JPEG or TIFF file (recognised by its first bytes) into a document of `depth` bits
// (8 or 16), or of the file's depth when depth is 0 (JPEG: 8). Throws ImageError with a message
// naming the file for a missing, unreadable, corrupt or unsupported file.
Picture readImage(const std::string& path, int depth = 0);

struct WriteOptions {
    int pngLevel = 1;         // zlib level 0..9; fast by default
    int jpegQuality = 95;
};

// Writes the document (and the alpha, when given and the format holds one) to path, in the format
// its extension names, at the document's depth (JPEG: 8-bit). The file appears only complete: it is
// written beside path and renamed over it. `cancelled` is asked between rows; when it answers true
// nothing is written and false is returned. Throws ImageError when the file cannot be written.
bool writeImage(const std::string& path, const Picture& picture, const WriteOptions& options = {},
                const std::function<bool()>& cancelled = {});

// Sample conversions of the mapping above.
constexpr uint16_t fileToDocument16(uint32_t v) { return static_cast<uint16_t>((v * 32768u + 32767u) / 65535u); }
constexpr uint16_t documentToFile16(uint32_t v) { return static_cast<uint16_t>((v * 65535u + 16384u) / 32768u); }
constexpr uint16_t widen8To16(uint32_t v) { return static_cast<uint16_t>((v * 32768u + 127u) / 255u); }
constexpr uint8_t narrow16To8(uint32_t v) { return static_cast<uint8_t>((v * 255u + 16384u) / 32768u); }

} // namespace orvo
