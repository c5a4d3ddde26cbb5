#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace fx {

// A file written in place of path so that path either keeps its old content or holds the complete
// new one: the bytes go to a new temporary file in the same folder, which commit() flushes to disk
// and renames over path. Destroying an uncommitted AtomicFile removes the temporary. Streaming
// writers write through stream(), or by the temporary's name (tempPath()) when their library opens
// files itself and closes them before commit().
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file (exclusively). False with error set when it cannot.
    bool open(std::string* error = nullptr);
    const std::string& path() const { return path_; }
    const std::string& tempPath() const { return temp_; }
    // The temporary opened for binary writing (open() must have succeeded).
    std::FILE* stream() { return stream_; }
    // Closes the stream (unsynced) so that a library can write the temporary by name.
    void closeStream();
    // Flushes, syncs and closes the temporary, then renames it over path. False with error set (and
    // the temporary removed, path untouched) when any step fails.
    bool commit(std::string* error = nullptr);
    // Removes the temporary; path keeps its old content.
    void discard();

private:
    bool fail(std::string* error, const char* what, int err);
    std::string path_;
    std::string temp_;
    std::FILE* stream_ = nullptr;
    bool created_ = false;
};

// Writes bytes to path atomically (AtomicFile). False (and path untouched, no temporary left
// behind) when any step fails; error, when given, then says which step failed and why.
bool writeFileAtomically(const char* path, const void* bytes, std::size_t size, std::string* error = nullptr);

} // namespace fx
