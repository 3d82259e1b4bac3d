// Emptying a folder on POSIX systems. The walk works on open folder handles and never follows a link:
// a link inside a folder being emptied is removed itself, so the walk cannot be led out of the folder
// it was asked to empty (nor raced there by swapping a folder for a link mid-walk). It keeps only a
// few handles open whatever the depth of the tree.
#ifndef _WIN32

#include "platform.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

struct DirEntry {
    std::string name;
    unsigned char type;
};

// Reads the whole listing first, so removing entries cannot disturb the enumeration.
std::vector<DirEntry> readEntries(const FileHandle& folder) {
    std::vector<DirEntry> entries;
    // The listing reads through a handle of its own, which then belongs to the listing.
    FileHandle listing(::dup(folder.native()));
    if (!listing.isOpen()) {
        return entries;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listing.native()), &::closedir);
    if (!dir) {
        return entries;
    }
    listing.release();
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            entries.push_back(DirEntry{std::string(name), entry->d_type});
        }
    }
    return entries;
}

bool isFolder(const FileHandle& parent, const DirEntry& entry) {
    if (entry.type != DT_UNKNOWN) {
        return entry.type == DT_DIR;
    }
    struct stat st {};
    return ::fstatat(parent.native(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Open handles kept on the way down; deeper trees re-open the folders above when they go back up.
// Any depth then needs no more than this many descriptors (and the process may have few).
constexpr std::size_t kOpenFolders = 16;

FileHandle openBelow(const FileHandle& parent, const std::string& name) {
    return FileHandle(::openat(parent.native(), name.c_str(), kOpenFolderFlags));
}

// One folder of the walk.
struct Folder {
    std::string path; // the path text, ending in a separator
    std::string name; // its name in the folder above
    std::vector<DirEntry> entries;
    std::size_t next = 0;
    FileHandle handle; // closed while the walk keeps it shut
    dev_t device = 0;
    ino_t inode = 0;
    bool goes = false; // removed once it is empty
    // The mode it had before it was opened up to be emptied: put back when it stays after all.
    std::optional<mode_t> openedFrom;
};

bool identify(Folder& folder) {
    struct stat st {};
    if (::fstat(folder.handle.native(), &st) != 0) {
        return false;
    }
    folder.device = st.st_dev;
    folder.inode = st.st_ino;
    return true;
}

bool isSameFolder(const FileHandle& handle, const Folder& folder) {
    struct stat st {};
    return ::fstat(handle.native(), &st) == 0 && st.st_dev == folder.device && st.st_ino == folder.inode;
}

// Removes name from the open folder. A folder its owner has write-protected (as unpacked archives
// often are) is opened up first, but only when it is about to be removed itself anyway.
bool removeEntry(Folder& folder, const std::string& name, int flags) {
    const int fd = folder.handle.native();
    if (::unlinkat(fd, name.c_str(), flags) == 0) {
        return true;
    }
    if (!folder.goes || failureOf(errno) != Failure::AccessDenied) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (st.st_mode & S_IWUSR) != 0 || ::fchmod(fd, (st.st_mode & 07777) | S_IRWXU) != 0) {
        errno = EACCES;
        return false;
    }
    if (!folder.openedFrom) {
        folder.openedFrom = st.st_mode & 07777;
    }
    return ::unlinkat(fd, name.c_str(), flags) == 0;
}

// A folder that stays after all gets its own mode back.
void restoreMode(const Folder& folder) {
    if (folder.openedFrom && folder.handle.isOpen()) {
        ::fchmod(folder.handle.native(), *folder.openedFrom);
    }
}

// Empties folders without recursion and with a bounded number of open handles, never through a link:
// each folder is entered by name from the open folder above it, and a folder above that was closed
// is re-opened as ".." of the one below and checked to be the very folder that was left.
class TreeWalk {
public:
    explicit TreeWalk(EmptyingEvents& events) : m_events(events) {}

    // Empties the open folder (whose handle the walk borrows and gives back); returns the folder's mode
    // from before it was opened up, when it was.
    std::optional<mode_t> empty(FileHandle& handle, const std::string& path, FolderItself itself) {
        Folder root;
        root.path = path;
        root.handle = std::move(handle);
        root.goes = itself == FolderItself::Goes;
        identify(root);
        root.entries = readEntries(root.handle);
        m_stack.push_back(std::move(root));
        while (!m_stack.empty()) {
            Folder& folder = m_stack.back();
            if (folder.next < folder.entries.size()) {
                const DirEntry& entry = folder.entries[folder.next++];
                if (isFolder(folder.handle, entry)) {
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
        std::optional<mode_t> openedFrom;
        if (!m_stack.empty()) {
            handle = std::move(m_stack.front().handle);
            openedFrom = m_stack.front().openedFrom;
        }
        m_stack.clear();
        return openedFrom;
    }

private:
    void removeFile(Folder& folder, const std::string& name) {
        // Read-only files need no attribute change here: removal depends on the folder's rights.
        m_events.removingFile(folder.path, name);
        if (!removeEntry(folder, name, 0)) {
            m_events.fileStays(folder.path, name);
        }
    }

    void enter(std::string name) {
        Folder& parent = m_stack.back();
        Folder child;
        child.path = parent.path + name + kSeparator;
        child.name = name;
        child.goes = true;
        m_events.enteringFolder(child.path);
        child.handle = openBelow(parent.handle, name);
        // A folder its owner shut even to himself goes anyway: open it up (never through a link).
        struct stat st {};
        if (!child.handle.isOpen() && failureOf(errno) == Failure::AccessDenied &&
            ::fstatat(parent.handle.native(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
            ::fchmodat(parent.handle.native(), name.c_str(), S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0) {
            child.openedFrom = st.st_mode & 07777;
            child.handle = openBelow(parent.handle, name);
            if (!child.handle.isOpen()) {
                ::fchmodat(parent.handle.native(), name.c_str(), *child.openedFrom, AT_SYMLINK_NOFOLLOW);
            }
        }
        if (!child.handle.isOpen() || !identify(child)) {
            child.handle.close();
            removeFolder(parent, child);
            return;
        }
        child.entries = readEntries(child.handle);
        m_stack.push_back(std::move(child));
        // The folder kOpenFolders levels up is closed until the walk comes back to it; the root stays open.
        if (m_stack.size() > kOpenFolders + 1) {
            m_stack[m_stack.size() - 1 - kOpenFolders].handle.close();
        }
    }

    // The walk is done with the deepest folder: it goes from the folder above.
    void leave() {
        Folder child = std::move(m_stack.back());
        m_stack.pop_back();
        if (!m_stack.back().handle.isOpen() && !reopen(child.handle)) {
            abandon(child);
            return;
        }
        removeFolder(m_stack.back(), child);
    }

    // Removes the (emptied) child from parent; a child that stays gets its mode back.
    void removeFolder(Folder& parent, const Folder& child) {
        // A folder swapped for a link or a file since the listing is removed as that, unfollowed.
        if (!removeEntry(parent, child.name, AT_REMOVEDIR) &&
            !(failureOf(errno) == Failure::NotAFolder &&
              ::unlinkat(parent.handle.native(), child.name.c_str(), 0) == 0)) {
            restoreMode(child);
            m_events.leftFolder(child.path, FolderLeft::Stays);
            return;
        }
        m_events.leftFolder(child.path, FolderLeft::Removed);
    }

    // Opens the deepest folder of the stack again, which was closed on the way down: as ".." of the
    // child just left, or else name by name from the nearest open folder above. Either way it must
    // be the folder that was left, or the tree was moved meanwhile and it is not used.
    bool reopen(const FileHandle& child) {
        Folder& folder = m_stack.back();
        if (child.isOpen()) {
            FileHandle up = openBelow(child, "..");
            if (up.isOpen() && isSameFolder(up, folder)) {
                folder.handle = std::move(up);
                return true;
            }
        }
        std::size_t open = m_stack.size() - 1;
        while (!m_stack[open].handle.isOpen()) {
            --open; // the root is always open
        }
        FileHandle below;
        const FileHandle* at = &m_stack[open].handle;
        for (std::size_t level = open + 1; level < m_stack.size(); ++level) {
            below = openBelow(*at, m_stack[level].name);
            if (!below.isOpen() || !isSameFolder(below, m_stack[level])) {
                return false;
            }
            at = &below;
        }
        folder.handle = std::move(below);
        return true;
    }

    // The folders above child up to the nearest open one cannot be reached safely any more: they stay,
    // each reported, and the walk goes on from there.
    void abandon(Folder& child) {
        restoreMode(child);
        m_events.leftFolder(child.path, FolderLeft::Stays);
        child.handle.close();
        while (!m_stack.back().handle.isOpen()) {
            m_events.leftFolder(m_stack.back().path, FolderLeft::Stays);
            m_stack.pop_back();
        }
    }

    EmptyingEvents& m_events;
    std::vector<Folder> m_stack;
};

} // namespace

void emptyFolder(const std::string& folder, FolderItself itself, EmptyingEvents& events) {
    events.enteringFolder(folder);
    const bool goes = itself == FolderItself::Goes;
    // The folder asked for may be reached through a link when it stays (a TEMP that is one, say);
    // below it none is followed.
    FileHandle handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (goes ? O_NOFOLLOW : 0)));
    std::optional<mode_t> openedFrom;
    if (handle.isOpen()) {
        openedFrom = TreeWalk(events).empty(handle, folder, itself);
    }
    if (!goes) {
        events.leftFolder(folder, FolderLeft::Kept);
        return;
    }
    std::string path = folder;
    while (path.size() > 1 && path.back() == kSeparator) {
        path.pop_back();
    }
    if (removeFolder(path) != 0) {
        if (openedFrom && handle.isOpen()) {
            ::fchmod(handle.native(), *openedFrom);
        }
        events.leftFolder(folder, FolderLeft::Stays);
        return;
    }
    events.leftFolder(folder, FolderLeft::Removed);
}

} // namespace platform

#endif
