#include "files/file_safety.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// Shared by every program in the process on purpose: it keeps temporary names unique.
std::atomic<unsigned> temporaryCounter{0};

constexpr const char* kTemporaryMark = ".tmp.";

bool AllDigits(std::string_view text) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// "<name>.tmp.<pid>.<counter>", as CreateTemporary names them; the pid, or 0.
long TemporaryOwner(std::string_view name) {
    const size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string_view::npos || mark == 0) return 0;
    const std::string_view rest = name.substr(mark + std::strlen(kTemporaryMark));
    const size_t dot = rest.find('.');
    if (dot == std::string_view::npos) return 0;
    const std::string_view pid = rest.substr(0, dot), counter = rest.substr(dot + 1);
    if (!AllDigits(pid) || !AllDigits(counter)) return 0;
    const long owner = std::stol(std::string(pid));
    return owner > 0 && owner <= INT_MAX ? owner : 0;
}

// A relative name with a ".." step could leave the work folder.
bool LeavesFolder(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

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
        temporaryPath =
            path + kTemporaryMark + std::to_string(::getpid()) + "." + std::to_string(temporaryCounter.fetch_add(1));
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
    return WriteFileAtomically(std::string(), path, contents, error);
}

int WriteFileAtomically(const std::string& folder, const std::string& name, std::string_view contents,
                        std::string& error) {
    error.clear();
    if (name.empty()) return Fail(ENOENT, error);
    if (LeavesFolder(name)) return Fail(EINVAL, error);
    const std::string path = WorkPath(folder, name);

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

bool CaptureWorkFolder(std::string& workFolder, std::string& error) {
    char here[PATH_MAX];
    if (::getcwd(here, sizeof here) == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    workFolder = here;
    return true;
}

std::string WorkPath(const std::string& workFolder, const std::string& path) {
    if (workFolder.empty() || path.empty() || path.front() == '/') return path;
    return workFolder == "/" ? "/" + path : workFolder + "/" + path;
}

bool WorkFolderPresent(const std::string& workFolder, std::string& error) {
    if (workFolder.empty()) {
        // No folder fixed: the current directory, which getcwd says is gone.
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here) != nullptr) return true;
        error = std::strerror(errno);
        return false;
    }
    struct stat folder {};
    if (::stat(workFolder.c_str(), &folder) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(folder.st_mode)) {
        error = std::strerror(ENOTDIR);
        return false;
    }
    return true;
}

std::string WorkFolderGoneText(const std::string& workFolder, const std::string& name, const std::string& reason) {
    const std::string folder = workFolder.empty() ? std::string("(the current directory)") : workFolder;
    return WorkPath(workFolder, name) + ": the work folder " + folder + " is gone (" + reason + ")";
}

int RemoveOrphanTemporaries(const std::string& folder) {
    DIR* directory = ::opendir(folder.empty() ? "." : folder.c_str());
    if (directory == nullptr) return 0;
    const std::string prefix = folder.empty() ? "" : folder + "/";
    int removed = 0;
    while (const dirent* entry = ::readdir(directory)) {
        const long owner = TemporaryOwner(entry->d_name);
        if (owner == 0 || owner == ::getpid()) continue;
        // A writer that still runs (another program in the same folder) keeps its file.
        if (::kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) continue;
        const std::string path = prefix + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlink(path.c_str()) == 0) ++removed;
    }
    ::closedir(directory);
    return removed;
}
