// The local side of a transfer: the paths of L and its companion files, the size of L, and the
// temporary file, delete and rename that put a download in place.
#pragma once

#include "platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ftpunit {

// The text after the last separator of a path, and the text up to and including it: "/" on Linux; "\",
// "/" or the ":" of a drive on Windows.
std::string FileNameOf(std::string_view path);
std::string FolderOf(std::string_view path);
// The companion file of a download (extension "tmp" or "old"), in L's own folder, so a dot in a folder
// name cannot move it elsewhere. The last extension of L's name is replaced (tabell.txt: tabell.tmp,
// rapport.2025.csv: rapport.2025.tmp); a name without one, or whose only dot leads it (.profile), or whose
// extension is itself "tmp" or "old" (data.tmp) gets the extension appended (.profile.tmp, data.tmp.tmp),
// so that no companion is L itself.
std::string CompanionFile(std::string_view path, std::string_view extension);

// Size of a local file to upload: a regular file, not read-only, that can be opened for reading while
// others go on using it; -1 when there is none, and why goes to *why ("filen finnes ikke").
std::int64_t LokalFilStorrelse(const std::string& path, std::string* why = nullptr);

// Makes the temporary file T of a download into L: whatever stands under T's name is removed first (a
// file left by an earlier run, a link), then T is created new, never through a link nor over anything
// that takes the name meanwhile. While L exists, T is its owner's alone until FinishTemporaryFile. 0 or
// the system's error number; file is open on T when it succeeded.
int CreateTemporaryFile(const std::string& T, const std::string& L, platform::FileHandle& file);
// Gives T (open in file) what L has beside its content: its mode on POSIX, its attributes on Windows;
// then closes it. 0 or the system's error number (a close that reports a write which failed late).
int FinishTemporaryFile(platform::FileHandle& file, const std::string& L);

// Deletes a file, whatever its read-only attribute; true when it was deleted.
bool DeleteLocalFile(const std::string& path);
// Renames a file, never over an existing target; 0 or the system's error number.
int RenameWithoutReplacing(const std::string& from, const std::string& to);

} // namespace ftpunit
