#include "files/file_safety.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

std::atomic<unsigned> temporaryCounter{0};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Creates a fresh temporary file beside `path`; the name is new on every call so two
// writers never share one. Returns the descriptor or -1 with errno set.
int CreateTemporary(const std::string& path, std::string& temporaryPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = path + ".tmp." + std::to_string(::getpid()) + "." +
                        std::to_string(temporaryCounter.fetch_add(1));
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, std::string_view contents) {
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The reason alone; callers name the file in their own words.
int Fail(int code, std::string& error) {
    if (code == 0) code = EIO;
    error = std::strerror(code);
    return code;
}

}  // namespace

int WriteFileAtomically(const std::string& path, std::string_view contents, std::string& error) {
    error.clear();
    if (path.empty()) return Fail(ENOENT, error);

    std::string temporaryPath;
    const int fd = CreateTemporary(path, temporaryPath);
    if (fd < 0) return Fail(errno, error);

    // A file that is replaced keeps its permissions.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

    int code = 0;
    bool failed = false;
    if (!WriteAll(fd, contents) || ::fsync(fd) != 0) {
        code = errno;
        failed = true;
    }
    if (::close(fd) != 0 && !failed) {
        code = errno;
        failed = true;
    }
    if (!failed && ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        code = errno;
        failed = true;
    }
    if (failed) {
        ::unlink(temporaryPath.c_str());
        return Fail(code, error);
    }

    // Make the rename itself survive a power cut; the file is already complete.
    const int dirFd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
}
