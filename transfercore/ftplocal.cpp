#include "ftplocal.h"

namespace ftpunit {

namespace {

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string FileNameOf(std::string_view path) {
    return platform::namePart(std::string(path));
}

std::string FolderOf(std::string_view path) {
    return platform::folderPart(std::string(path));
}

std::string CompanionFile(std::string_view path, std::string_view extension) {
    const std::string name = FileNameOf(path);
    const std::size_t dot = name.rfind('.');
    const std::string_view last =
        dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot + 1);
    // Compared without regard to case: Windows takes DATA.TMP and data.tmp for one file.
    if (dot == std::string::npos || dot == 0 || equalsIgnoringAsciiCase(last, "tmp") ||
        equalsIgnoringAsciiCase(last, "old")) {
        return FolderOf(path) + name + "." + std::string(extension);
    }
    return FolderOf(path) + name.substr(0, dot + 1) + std::string(extension);
}

std::int64_t LokalFilStorrelse(const std::string& path, std::string* why) {
    std::string reason;
    std::int64_t size = -1;
    // A read-only file is not sent, as always; reading it needs no more than the right to read it.
    if (platform::isReadOnly(path)) {
        reason = "filen er skrivebeskyttet";
    } else if (const int error = platform::readableFileSize(path, size)) {
        switch (platform::failureOf(error)) {
        case platform::Failure::Missing:
        case platform::Failure::NotAFolder:
            reason = "filen finnes ikke";
            break;
        case platform::Failure::NotSupported:
            reason = "det er ikke en vanlig fil";
            break;
        default:
            reason = "filen kan ikke leses: " + platform::errorText(error);
            break;
        }
        size = -1;
    }
    if (why != nullptr) {
        *why = reason;
    }
    return size;
}

int CreateTemporaryFile(const std::string& T, const std::string& L, platform::FileHandle& file) {
    // Only a file this download makes itself is written: one left under the name, or a link planted
    // there, would carry the download into somebody's file elsewhere.
    platform::removeFile(T);
    const platform::Create create =
        platform::fileExists(L) ? platform::Create::OnlyNewPrivate : platform::Create::OnlyNew;
    return platform::openFile(T, platform::Access::ReadWrite, create, file);
}

int FinishTemporaryFile(platform::FileHandle& file, const std::string& L) {
    const int given = platform::fileExists(L) ? platform::copyOwnerAndMode(L, file) : 0;
    const int closed = file.close();
    return closed != 0 ? closed : given;
}

bool DeleteLocalFile(const std::string& path) {
    return platform::removeFile(path) == 0;
}

// The platform's plain rename would silently overwrite an existing target, and the download relies on
// "L still there" stopping T from being put over it.
int RenameWithoutReplacing(const std::string& from, const std::string& to) {
    return platform::renameNoReplace(from, to);
}

} // namespace ftpunit
