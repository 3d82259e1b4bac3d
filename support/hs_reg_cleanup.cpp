// Emptying temporary folders. The walk works on open folder handles and never follows a link: a
// link inside a folder being emptied is removed itself, so the clean-up cannot be led out of the
// folder it was asked to empty (nor raced there by swapping a folder for a link mid-walk). It keeps
// only a few handles open whatever the depth of the tree.
#include <cerrno>
#include <optional>
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

constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Open handles kept on the way down; deeper trees re-open the folders above when they go back up.
// Any depth then needs no more than this many descriptors (and the process may have few).
constexpr std::size_t kOpenFolders = 16;

// One folder of the walk.
struct Folder {
    std::string path; // the path text, ending in a separator
    std::string name; // its name in the folder above
    std::vector<DirEntry> entries;
    std::size_t next = 0;
    int fd = -1; // -1 while closed
    dev_t device = 0;
    ino_t inode = 0;
    bool goes = false; // removed once it is empty
    // The mode it had before it was opened up to be emptied: put back when it stays after all.
    std::optional<mode_t> openedFrom;
};

bool identify(Folder& folder) {
    struct stat st {};
    if (::fstat(folder.fd, &st) != 0) {
        return false;
    }
    folder.device = st.st_dev;
    folder.inode = st.st_ino;
    return true;
}

bool isSameFolder(int fd, const Folder& folder) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_dev == folder.device && st.st_ino == folder.inode;
}

// Removes name from the open folder. A folder its owner has write-protected (as unpacked archives
// often are) is opened up first, but only when it is about to be removed itself anyway.
bool removeEntry(Folder& folder, const std::string& name, int flags) {
    if (::unlinkat(folder.fd, name.c_str(), flags) == 0) {
        return true;
    }
    if (!folder.goes || (errno != EACCES && errno != EPERM)) {
        return false;
    }
    struct stat st {};
    if (::fstat(folder.fd, &st) != 0 || (st.st_mode & S_IWUSR) != 0 ||
        ::fchmod(folder.fd, (st.st_mode & 07777) | S_IRWXU) != 0) {
        errno = EACCES;
        return false;
    }
    if (!folder.openedFrom) {
        folder.openedFrom = st.st_mode & 07777;
    }
    return ::unlinkat(folder.fd, name.c_str(), flags) == 0;
}

// A folder that stays after all gets its own mode back.
void restoreMode(const Folder& folder) {
    if (folder.openedFrom && folder.fd >= 0) {
        ::fchmod(folder.fd, *folder.openedFrom);
    }
}

// Empties folders without recursion and with a bounded number of open handles, never through a link:
// each folder is entered by name from the open folder above it, and a folder above that was closed
// is re-opened as ".." of the one below and checked to be the very folder that was left.
class TreeWalk {
public:
    TreeWalk() : m_verbose(textfil::VerboseLogging()) {}

    // Empties the open folder fd (not closed here); returns the folder's mode from before it was
    // opened up, when it was.
    std::optional<mode_t> empty(int fd, const std::string& path, bool goes) {
        Folder root;
        root.path = path;
        root.fd = fd;
        root.goes = goes;
        identify(root);
        root.entries = listFolder(fd);
        m_stack.push_back(std::move(root));
        while (!m_stack.empty()) {
            Folder& folder = m_stack.back();
            if (folder.next < folder.entries.size()) {
                const DirEntry& entry = folder.entries[folder.next++];
                if (isFolder(folder.fd, entry)) {
                    enter(entry.name);
                } else {
                    removeFile(folder, entry.name);
                }
            } else if (m_stack.size() > 1) {
                leave();
            } else {
                break;
            }
        }
        const std::optional<mode_t> openedFrom = m_stack.empty() ? std::nullopt : m_stack.front().openedFrom;
        m_stack.clear();
        return openedFrom;
    }

private:
    void removeFile(Folder& folder, const std::string& name) {
        // Read-only files need no attribute change here: removal depends on the folder's rights.
        if (m_verbose) {
            textfil::WriteLog("Sletter " + folder.path + name);
        }
        if (!removeEntry(folder, name, 0)) {
            textfil::WriteLog("FEIL: kan ikke slette filen " + folder.path + name);
        }
    }

    void enter(std::string name) {
        Folder& parent = m_stack.back();
        Folder child;
        child.path = parent.path + name + platform::kSeparator;
        child.name = name;
        child.goes = true;
        busy(true);
        if (m_verbose) {
            textfil::WriteLog("Sletter mappen " + child.path);
        }
        child.fd = ::openat(parent.fd, name.c_str(), kOpenFolderFlags);
        // A folder its owner shut even to himself goes anyway: open it up (never through a link).
        struct stat st {};
        if (child.fd < 0 && errno == EACCES && ::fstatat(parent.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(st.st_mode) && ::fchmodat(parent.fd, name.c_str(), S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0) {
            child.openedFrom = st.st_mode & 07777;
            child.fd = ::openat(parent.fd, name.c_str(), kOpenFolderFlags);
            if (child.fd < 0) {
                ::fchmodat(parent.fd, name.c_str(), *child.openedFrom, AT_SYMLINK_NOFOLLOW);
            }
        }
        if (child.fd < 0 || !identify(child)) {
            if (child.fd >= 0) {
                ::close(child.fd);
                child.fd = -1;
            }
            removeFolder(parent, child);
            return;
        }
        child.entries = listFolder(child.fd);
        m_stack.push_back(std::move(child));
        // The folder kOpenFolders levels up is closed until the walk comes back to it; the root is
        // the caller's and stays open.
        if (m_stack.size() > kOpenFolders + 1) {
            Folder& far = m_stack[m_stack.size() - 1 - kOpenFolders];
            if (far.fd >= 0) {
                ::close(far.fd);
                far.fd = -1;
            }
        }
    }

    // The walk is done with the deepest folder: it goes from the folder above.
    void leave() {
        Folder child = std::move(m_stack.back());
        m_stack.pop_back();
        if (m_stack.back().fd < 0 && !reopen(child.fd)) {
            abandon(child);
            return;
        }
        removeFolder(m_stack.back(), child);
        if (child.fd >= 0) {
            ::close(child.fd);
        }
    }

    // Removes the (emptied) child from parent; a child that stays gets its mode back.
    void removeFolder(Folder& parent, const Folder& child) {
        // A folder swapped for a link or a file since the listing is removed as that, unfollowed.
        if (!removeEntry(parent, child.name, AT_REMOVEDIR) &&
            !(errno == ENOTDIR && ::unlinkat(parent.fd, child.name.c_str(), 0) == 0)) {
            restoreMode(child);
            textfil::WriteLog("FEIL: kan ikke slette mappen " + child.path);
        }
        busy(false);
    }

    // Opens the deepest folder of the stack again, which was closed on the way down: as ".." of the
    // child just left, or else name by name from the nearest open folder above. Either way it must
    // be the folder that was left, or the tree was moved meanwhile and it is not used.
    bool reopen(int childFd) {
        Folder& folder = m_stack.back();
        if (childFd >= 0) {
            const int fd = ::openat(childFd, "..", kOpenFolderFlags);
            if (fd >= 0 && isSameFolder(fd, folder)) {
                folder.fd = fd;
                return true;
            }
            if (fd >= 0) {
                ::close(fd);
            }
        }
        std::size_t open = m_stack.size() - 1;
        while (m_stack[open].fd < 0) {
            --open; // the root is always open
        }
        int fd = m_stack[open].fd;
        for (std::size_t level = open + 1; level < m_stack.size() && fd >= 0; ++level) {
            const int below = ::openat(fd, m_stack[level].name.c_str(), kOpenFolderFlags);
            if (fd != m_stack[open].fd) {
                ::close(fd);
            }
            fd = below;
            if (fd >= 0 && !isSameFolder(fd, m_stack[level])) {
                ::close(fd);
                fd = -1;
            }
        }
        if (fd < 0) {
            return false;
        }
        folder.fd = fd;
        return true;
    }

    // The folders above child up to the nearest open one cannot be reached safely any more: they stay,
    // each reported, and the walk goes on from there.
    void abandon(Folder& child) {
        restoreMode(child);
        textfil::WriteLog("FEIL: kan ikke slette mappen " + child.path);
        if (child.fd >= 0) {
            ::close(child.fd);
        }
        busy(false);
        while (m_stack.back().fd < 0) {
            textfil::WriteLog("FEIL: kan ikke slette mappen " + m_stack.back().path);
            m_stack.pop_back();
            busy(false);
        }
    }

    const bool m_verbose;
    std::vector<Folder> m_stack;
};

} // namespace

void deletetree(const std::string& folder, const std::string& top) {
    busy(true);
    if (textfil::VerboseLogging()) {
        textfil::WriteLog("Sletter mappen " + folder);
    }
    const bool goes = folder != top;
    // The top folder itself may be reached through a link (a TEMP that is one, say); below it none is followed.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (goes ? O_NOFOLLOW : 0));
    std::optional<mode_t> openedFrom;
    if (fd >= 0) {
        openedFrom = TreeWalk().empty(fd, folder, goes);
    }
    if (goes) {
        std::string path = folder;
        while (path.size() > 1 && path.back() == platform::kSeparator) {
            path.pop_back();
        }
        if (::rmdir(path.c_str()) != 0) {
            if (openedFrom && fd >= 0) {
                ::fchmod(fd, *openedFrom);
            }
            textfil::WriteLog("FEIL: kan ikke slette mappen " + folder);
        }
    }
    if (fd >= 0) {
        ::close(fd);
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
