#include "ftplocal.h"

#include "Felles.h"
#include "platform.h"

namespace ftpunit {

std::string FileNameOf(std::string_view path) {
    return platform::namePart(std::string(path));
}

std::string FolderOf(std::string_view path) {
    return platform::folderPart(std::string(path));
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
