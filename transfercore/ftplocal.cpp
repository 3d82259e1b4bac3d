#include "ftplocal.h"

#include "Felles.h"
#include "platform.h"

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
    return platform::writableFileSize(path);
}

bool DeleteLocalFile(const std::string& path) {
    return platform::removeFile(path) == 0;
}

// The platform's plain rename would silently overwrite an existing target, and the download relies on
// "L still there" stopping T from being put over it.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
    return platform::renameNoReplace(from, to) == 0;
}

} // namespace ftpunit
