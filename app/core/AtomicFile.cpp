#include "app/core/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace orvo {

std::filesystem::path atomicTempPath(const std::filesystem::path& path)
{
    return std::filesystem::path(path.string() + ".tmp-" + std::to_string(::getpid()));
}

bool writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error)
{
    const std::filesystem::path temp = atomicTempPath(path);
    auto fail = [&](const char* what, int err, bool removeTemp) {
        if (removeTemp)
            ::unlink(temp.c_str());
        if (error)
            *error = path.string() + ": " + what + ": " + std::strerror(err);
        return false;
    };
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot create temporary file", errno, false);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int err = n < 0 ? errno : EIO;
            ::close(fd);
            return fail("cannot write", err, true);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        return fail("cannot flush", err, true);
    }
    if (::close(fd) != 0)
        return fail("cannot close", errno, true);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return fail("cannot replace", errno, true);
    return true;
}

} // namespace orvo
