#pragma once

#include <cstddef>
#include <string>

namespace fx {

// Writes bytes to path so that the file either keeps its old content or holds all the new bytes:
// the bytes go to a new temporary file in the same folder, which then replaces path by rename.
// The temporary is flushed to disk before the rename. False (and path untouched, no temporary left
// behind) when any step fails; error, when given, then says which step failed and why.
bool writeFileAtomically(const char* path, const void* bytes, std::size_t size, std::string* error = nullptr);

} // namespace fx
