#include "ftplocal.h"

#include "Felles.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ftpunit {

std::string FileNameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1));
}

std::string CompanionFile(std::string_view path, std::string_view extension) {
    return FolderOf(path) + felles::ByttEndelse(FileNameOf(path), extension);
}

std::int64_t LokalFilStorrelse(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    // Read-only means no write bit at all, whoever runs the program (root included).
    if ((st.st_mode & 0222) == 0) {
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    std::int64_t size = -1;
    if (::fstat(fd, &st) == 0) {
        size = st.st_size;
    }
    ::close(fd);
    return size;
}

bool DeleteLocalFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

// The platform's rename would silently overwrite an existing target, and the download relies on
// "L still there" stopping T from being put over it.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) {
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace ftpunit
