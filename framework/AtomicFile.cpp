#include "framework/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
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

bool writeAll(int fd, const unsigned char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool writeFileAtomically(const char* path, const void* bytes, std::size_t size, std::string* error)
{
    auto fail = [&](const char* what, int err) {
        if (error)
            *error = std::string(path ? path : "") + ": " + what + (err ? std::string(": ") + std::strerror(err) : "");
        return false;
    };
    if (!path || !*path || (!bytes && size > 0))
        return fail("invalid file name or data", 0);
    const std::string target(path);
    if (target.back() == '/')
        return fail("is a folder name", 0);

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporaryNameBeside(target);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail("cannot create temporary file", errno);
    }
    if (fd < 0)
        return fail("cannot create temporary file", EEXIST);

    const char* step = nullptr;
    int err = 0;
    if (!writeAll(fd, static_cast<const unsigned char*>(bytes), size))
        step = "cannot write", err = errno;
    else if (::fsync(fd) != 0)
        step = "cannot flush", err = errno;
    if (::close(fd) != 0 && !step)
        step = "cannot close", err = errno;
    if (!step && std::rename(temp.c_str(), path) != 0)
        step = "cannot replace", err = errno;
    if (step) {
        ::unlink(temp.c_str());
        return fail(step, err);
    }
    return true;
}

} // namespace fx
