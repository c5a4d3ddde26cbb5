#include "framework/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace fx {

namespace {

std::string temporaryNameBeside(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + ".orvo-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

} // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::fail(std::string* error, const char* what, int err)
{
    if (error)
        *error = path_ + ": " + what + (err ? std::string(": ") + std::strerror(err) : "");
    discard();
    return false;
}

bool AtomicFile::open(std::string* error)
{
    if (path_.empty())
        return fail(error, "invalid file name", 0);
    if (path_.back() == '/')
        return fail(error, "is a folder name", 0);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp_ = temporaryNameBeside(path_);
        fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            const int err = errno;
            temp_.clear();
            return fail(error, "cannot create temporary file", err);
        }
    }
    if (fd < 0) {
        temp_.clear();
        return fail(error, "cannot create temporary file", EEXIST);
    }
    created_ = true;
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        const int err = errno;
        ::close(fd);
        return fail(error, "cannot open temporary file", err);
    }
    return true;
}

bool AtomicFile::commit(std::string* error)
{
    if (!created_)
        return fail(error, "not opened", 0);
    const char* step = nullptr;
    int err = 0;
    if (stream_) {
        if (std::fflush(stream_) != 0)
            step = "cannot write", err = errno;
        else if (::fsync(::fileno(stream_)) != 0)
            step = "cannot flush", err = errno;
        if (std::fclose(stream_) != 0 && !step)
            step = "cannot close", err = errno;
        stream_ = nullptr;
    } else {
        // Written by name by a library that closed it: sync it through a new descriptor.
        const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0)
            step = "cannot flush", err = errno;
        if (fd >= 0)
            ::close(fd);
    }
    if (!step && std::rename(temp_.c_str(), path_.c_str()) != 0)
        step = "cannot replace", err = errno;
    if (step)
        return fail(error, step, err);
    created_ = false;
    temp_.clear();
    return true;
}

void AtomicFile::closeStream()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
}

void AtomicFile::discard()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (created_) {
        ::unlink(temp_.c_str());
        created_ = false;
    }
}

bool writeFileAtomically(const char* path, const void* bytes, std::size_t size, std::string* error)
{
    if (!path || !*path || (!bytes && size > 0)) {
        if (error)
            *error = std::string(path ? path : "") + ": invalid file name or data";
        return false;
    }
    AtomicFile file(path);
    if (!file.open(error))
        return false;
    if (size > 0 && std::fwrite(bytes, 1, size, file.stream()) != size) {
        const int err = errno;
        if (error)
            *error = std::string(path) + ": cannot write: " + std::strerror(err);
        return false;
    }
    return file.commit(error);
}

} // namespace fx
