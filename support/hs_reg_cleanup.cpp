// Emptying temporary folders. The walk works on open folder handles and never follows a link: a
// link inside a folder being emptied is removed itself, so the clean-up cannot be led out of the
// folder it was asked to empty (nor raced there by swapping a folder for a link mid-walk).
#include <cerrno>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hs_reg.h"
#include "platform.h"
#include "textfil.h"

namespace hs_reg {

namespace {

constexpr std::size_t kMinFolderLength = 7;

BusyCursorHook g_busyCursor;

void busy(bool on) {
    if (g_busyCursor) {
        g_busyCursor(on);
    }
}

bool containsWord(const std::string& path, const char* word) {
    return platform::toUpperAscii(path).find(word) != std::string::npos;
}

struct DirEntry {
    std::string name;
    unsigned char type;
};

// Reads the whole listing first, so removing entries cannot disturb the enumeration.
std::vector<DirEntry> listFolder(int fd) {
    std::vector<DirEntry> entries;
    const int listFd = ::dup(fd);
    if (listFd < 0) {
        return entries;
    }
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return entries;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            entries.push_back(DirEntry{std::string(name), entry->d_type});
        }
    }
    ::closedir(dir);
    return entries;
}

bool isFolder(int parentFd, const DirEntry& entry) {
    if (entry.type != DT_UNKNOWN) {
        return entry.type == DT_DIR;
    }
    struct stat st {};
    return ::fstatat(parentFd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// Removes name from the open folder fd. A folder its owner has write-protected (as unpacked archives
// often are) is opened up first, but only when it is about to be removed itself anyway.
bool removeEntry(int fd, const std::string& name, int flags, bool folderGoes) {
    if (::unlinkat(fd, name.c_str(), flags) == 0) {
        return true;
    }
    if (!folderGoes || (errno != EACCES && errno != EPERM)) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (st.st_mode & S_IWUSR) != 0 || ::fchmod(fd, (st.st_mode & 07777) | S_IRWXU) != 0) {
        errno = EACCES;
        return false;
    }
    return ::unlinkat(fd, name.c_str(), flags) == 0;
}

// Empties the open folder fd whose path text is folder (ending in a separator); folderGoes when the
// folder is removed afterwards.
void emptyFolder(int fd, const std::string& folder, bool folderGoes) {
    const bool verbose = textfil::VerboseLogging();
    for (const DirEntry& entry : listFolder(fd)) {
        if (isFolder(fd, entry)) {
            const std::string child = folder + entry.name + platform::kSeparator;
            busy(true);
            if (verbose) {
                textfil::WriteLog("Sletter mappen " + child);
            }
            constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            int childFd = ::openat(fd, entry.name.c_str(), kOpenFlags);
            // A folder its owner shut even to himself goes anyway: open it up (never through a link).
            if (childFd < 0 && errno == EACCES &&
                ::fchmodat(fd, entry.name.c_str(), S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0) {
                childFd = ::openat(fd, entry.name.c_str(), kOpenFlags);
            }
            if (childFd >= 0) {
                emptyFolder(childFd, child, true);
                ::close(childFd);
            }
            // A folder swapped for a link or a file since the listing is removed as that, unfollowed.
            if (!removeEntry(fd, entry.name, AT_REMOVEDIR, folderGoes) &&
                !(errno == ENOTDIR && ::unlinkat(fd, entry.name.c_str(), 0) == 0)) {
                textfil::WriteLog("FEIL: kan ikke slette mappen " + child);
            }
            busy(false);
            continue;
        }
        // Read-only files need no attribute change here: removal depends on the folder's rights.
        if (verbose) {
            textfil::WriteLog("Sletter " + folder + entry.name);
        }
        if (!removeEntry(fd, entry.name, 0, folderGoes)) {
            textfil::WriteLog("FEIL: kan ikke slette filen " + folder + entry.name);
        }
    }
}

} // namespace

void deletetree(const std::string& folder, const std::string& top) {
    busy(true);
    if (textfil::VerboseLogging()) {
        textfil::WriteLog("Sletter mappen " + folder);
    }
    // The top folder itself may be reached through a link (a TEMP that is one, say); below it none is followed.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder == top ? 0 : O_NOFOLLOW));
    if (fd >= 0) {
        emptyFolder(fd, folder, folder != top);
        ::close(fd);
    }
    if (folder != top) {
        std::string path = folder;
        while (path.size() > 1 && path.back() == platform::kSeparator) {
            path.pop_back();
        }
        if (::rmdir(path.c_str()) != 0) {
            textfil::WriteLog("FEIL: kan ikke slette mappen " + folder);
        }
    }
    busy(false);
}

void cleanfolder(std::string folder) {
    if (folder.empty() || folder.back() != platform::kSeparator) {
        folder += platform::kSeparator;
    }
    if (folder.size() >= kMinFolderLength && platform::folderExists(folder)) {
        deletetree(folder, folder);
    }
}

void deletetempfiles(bool includeSystemFolders) {
    textfil::WriteLog("Sletter midlertidige filer opprettet av Solvemar programmer");
    const std::string tmp = solvemarpath("tmp");
    if (tmp.size() > 3 && containsWord(tmp, "TMP")) {
        cleanfolder(tmp);
    }
    if (!includeSystemFolders) {
        return;
    }
    const std::string temp = tempdir() + platform::kSeparator;
    if (temp.size() > 3 && containsWord(temp, "TEMP")) {
        textfil::WriteLog("Sletter midlertidige filer i Windows");
        cleanfolder(temp);
        cleanfolder(platform::env("WINDIR") + platform::kSeparator + "temp" + platform::kSeparator);
    }
    const std::string spool = spooldir();
    if (containsWord(spool, "SPOOL")) {
        textfil::WriteLog("Sletter skriverkøer");
        cleanfolder(spool);
    }
}

void setBusyCursorHook(BusyCursorHook hook) {
    g_busyCursor = std::move(hook);
}

} // namespace hs_reg
