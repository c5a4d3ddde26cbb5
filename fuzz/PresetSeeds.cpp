// Writes the starting corpora of the preset fuzz targets: PresetSeeds DIR fills
// DIR/preset_blob_fuzzer/ and DIR/text_preset_fuzzer/.

#include "PresetFuzzing.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

bool put(const fs::path& folder, const char* name, const void* bytes, std::size_t size)
{
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

bool put(const fs::path& folder, const char* name, const std::vector<unsigned char>& bytes)
{
    return put(folder, name, bytes.data(), bytes.size());
}

bool put(const fs::path& folder, const char* name, const std::string& text)
{
    return put(folder, name, text.data(), text.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path root(argv[1]);
    const fs::path blobs = root / "preset_blob_fuzzer";
    const fs::path texts = root / "text_preset_fuzzer";
    std::error_code error;
    fs::create_directories(blobs, error);
    fs::create_directories(texts, error);

    fxtest::KindsEffect defaults;
    fxtest::KindsEffect sample;
    sample.table[fxtest::KindsEffect::Amount].range.current = 12.5;
    sample.table[fxtest::KindsEffect::Active].boolean.current = 0;
    sample.table[fxtest::KindsEffect::Mode].list.current = 2;
    sample.table[fxtest::KindsEffect::Texture].setImagePath("/textures/paper.png");
    const std::vector<unsigned char> sampleBlob = fuzz::blobOf(sample);
    fxtest::OtherKindsEffect other;

    const std::string text =
        "kAmount 12.5\r\n  kActive 0\nkMode 2\rkTint (0.1, 0.2, 0.3)\n"
        "kCenter (-0.25, 0.25)\nkTexture /textures/paper.png\nunknown 1\nnospace\n";

    bool ok = put(blobs, "defaults", fuzz::blobOf(defaults)) && put(blobs, "sample", sampleBlob) &&
              put(blobs, "other-effect", fuzz::blobOf(other)) &&
              put(blobs, "cut", sampleBlob.data(), 52 + 152 * 2) && put(blobs, "text", text) &&
              put(texts, "every-kind", text) && put(texts, "blob", sampleBlob);
    return ok ? 0 : 1;
}
