// The local side of a transfer: the paths of L and its companion files, the size of L, and the
// delete and rename that put a download in place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ftpunit {

// The text after the last separator of a path, and the text up to and including it: "/" on Linux; "\",
// "/" or the ":" of a drive on Windows.
std::string FileNameOf(std::string_view path);
std::string FolderOf(std::string_view path);
// The companion file of a download (extension "tmp" or "old"): the extension of L's file name
// replaced, in L's own folder, so a dot in a folder name cannot move it elsewhere.
std::string CompanionFile(std::string_view path, std::string_view extension);

// Size of a local file that can be opened for reading and writing; -1 when it cannot (missing,
// no write permission bit, not a regular file). 64-bit: files above 2 GiB give their true size.
std::int64_t LokalFilStorrelse(const std::string& path);

// Deletes a file; true when it was deleted.
bool DeleteLocalFile(const std::string& path);
// Renames a file, never over an existing target; true when it was renamed.
bool RenameWithoutReplacing(const std::string& from, const std::string& to);

} // namespace ftpunit
