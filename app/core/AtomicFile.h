#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace orvo {

// Writes bytes to path atomically: into "<path>.tmp-<process id>" beside it, flushed to disk, then
// renamed over path. On failure the previous file is left as it was, the temporary file is
// removed, false is returned and error says why.
bool writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error);

std::filesystem::path atomicTempPath(const std::filesystem::path& path);

} // namespace orvo
