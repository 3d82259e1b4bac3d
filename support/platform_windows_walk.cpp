// Emptying a folder on Windows. A junction, a symbolic link or any other reparse point inside the folder
// is removed itself and never entered, so the walk cannot be led out of the folder it was asked to empty.
// Each folder the walk is inside is held open without delete sharing: until the walk leaves it, nobody
// can rename or remove it, or put a link in its place, so the path the walk works with keeps naming it.
// The walk works with the long form of its paths (\\?\C:\...), so no depth is too deep for it.
#ifdef _WIN32

#include "platform.h"

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace platform {

namespace {

struct Entry {
    std::string name;
    DWORD attributes;
};

bool isLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool isFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Every entry of the folder, hidden and system ones included, read before anything is removed so that
// removing cannot disturb the listing.
std::vector<Entry> readEntries(const std::wstring& path) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE listing =
        ::FindFirstFileExW((path + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (listing == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back(Entry{narrowText(name), found.dwFileAttributes});
        }
    } while (::FindNextFileW(listing, &found));
    ::FindClose(listing);
    return entries;
}

// Holds a folder open, so it stays what its path names; closed (no handle) when the name does not stand for
// a folder of its own: a link is not followed unless follow says so.
enum class Follow { Never, AtTheTop };
FileHandle holdFolder(const std::wstring& path, Follow follow) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow == Follow::Never ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    FileHandle folder(reinterpret_cast<NativeHandle>(
        ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, flags, nullptr)));
    FILE_ATTRIBUTE_TAG_INFO kind{};
    if (folder.isOpen() &&
        (!::GetFileInformationByHandleEx(reinterpret_cast<HANDLE>(folder.native()), FileAttributeTagInfo, &kind,
                                         sizeof kind) ||
         !isFolder(kind.FileAttributes) || (follow == Follow::Never && isLink(kind.FileAttributes)))) {
        folder.close();
    }
    return folder;
}

// Removes a file, or a link (to a file or a folder) itself. A read-only file loses its attributes first,
// through a handle on the very file listed, so that a link put in its place meanwhile cannot lead the
// change elsewhere; when the file stays after all, it gets them back.
bool removeFileEntry(const std::wstring& name, DWORD attributes) {
    if (isLink(attributes) && isFolder(attributes)) {
        // Removes the junction or link, never what it leads to.
        return ::RemoveDirectoryW(name.c_str()) != 0;
    }
    if (isLink(attributes) || !(attributes & FILE_ATTRIBUTE_READONLY)) {
        return ::DeleteFileW(name.c_str()) != 0;
    }
    const FileHandle file(reinterpret_cast<NativeHandle>(
        ::CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    const auto handle = reinterpret_cast<HANDLE>(file.native());
    FILE_BASIC_INFO basic{};
    if (!file.isOpen() || !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        return false;
    }
    const DWORD before = basic.FileAttributes;
    if (!isLink(before)) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) {
            return false;
        }
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        return true;
    }
    basic.FileAttributes = before;
    ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    return false;
}

// Removes an emptied folder (path without its final separator). A read-only folder that is to go loses the
// attribute first, as a POSIX folder its owner write-protected is opened up; it gets it back if it stays.
bool removeFolderEntry(const std::wstring& name) {
    if (::RemoveDirectoryW(name.c_str())) {
        return true;
    }
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES || isLink(attributes) ||
        !(attributes & FILE_ATTRIBUTE_READONLY) ||
        !::SetFileAttributesW(name.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        return false;
    }
    if (::RemoveDirectoryW(name.c_str())) {
        return true;
    }
    ::SetFileAttributesW(name.c_str(), attributes);
    return false;
}

std::wstring withoutSeparator(std::wstring path) {
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    return path;
}

// The form of a folder's path that the wide calls take at any length ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), ending in a separator.
std::wstring longForm(const std::string& folder) {
    std::wstring full = wideText(absolutePath(folder));
    if (!full.starts_with(L"\\\\?\\")) {
        full = full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    }
    if (full.back() != L'\\') {
        full += L'\\';
    }
    return full;
}

// One folder of the walk.
struct Folder {
    std::string path;    // the path text as the events tell it, ending in a separator
    std::wstring system; // the same folder in its long form, for the system's calls
    FileHandle handle;
    std::vector<Entry> entries;
    std::size_t next = 0;
};

// Empties folders without recursion: a stack of the folders the walk is inside, each held open.
class TreeWalk {
public:
    explicit TreeWalk(EmptyingEvents& events) : m_events(events) {}

    void empty(const std::string& path, const std::wstring& system, FileHandle handle) {
        Folder root;
        root.path = path;
        root.system = system;
        root.handle = std::move(handle);
        root.entries = readEntries(system);
        m_stack.push_back(std::move(root));
        while (!m_stack.empty()) {
            Folder& folder = m_stack.back();
            if (folder.next < folder.entries.size()) {
                const Entry entry = folder.entries[folder.next++];
                if (isFolder(entry.attributes) && !isLink(entry.attributes)) {
                    enter(folder.path + entry.name + kSeparator, folder.system + wideText(entry.name) + L'\\');
                } else {
                    removeFile(folder, entry);
                }
            } else if (m_stack.size() > 1) {
                leave();
            } else {
                break;
            }
        }
        m_stack.clear();
    }

private:
    void removeFile(const Folder& folder, const Entry& entry) {
        m_events.removingFile(folder.path, entry.name);
        if (!removeFileEntry(folder.system + wideText(entry.name), entry.attributes)) {
            m_events.fileStays(folder.path, entry.name);
        }
    }

    void enter(const std::string& path, const std::wstring& system) {
        m_events.enteringFolder(path);
        Folder child;
        child.path = path;
        child.system = system;
        child.handle = holdFolder(system, Follow::Never);
        if (!child.handle.isOpen()) {
            // Not a folder of its own any more (a link put in its place), or not to be opened: it is removed
            // as what it is now, never entered.
            const std::wstring name = withoutSeparator(system);
            const DWORD attributes = ::GetFileAttributesW(name.c_str());
            const bool removed = attributes != INVALID_FILE_ATTRIBUTES &&
                                 (isLink(attributes) ? removeFileEntry(name, attributes) : removeFolderEntry(name));
            m_events.leftFolder(path, removed ? FolderLeft::Removed : FolderLeft::Stays);
            return;
        }
        child.entries = readEntries(system);
        m_stack.push_back(std::move(child));
    }

    // The walk is done with the deepest folder: it is let go and removed from the folder above.
    void leave() {
        Folder child = std::move(m_stack.back());
        m_stack.pop_back();
        child.handle.close();
        m_events.leftFolder(child.path, removeFolderEntry(withoutSeparator(child.system)) ? FolderLeft::Removed
                                                                                          : FolderLeft::Stays);
    }

    EmptyingEvents& m_events;
    std::vector<Folder> m_stack;
};

} // namespace

void emptyFolder(const std::string& folder, FolderItself itself, EmptyingEvents& events) {
    events.enteringFolder(folder);
    const bool goes = itself == FolderItself::Goes;
    // The folder asked for may be reached through a link when it stays (a TEMP that is a junction, say);
    // below it none is followed.
    const std::wstring system = longForm(folder);
    FileHandle handle = holdFolder(system, goes ? Follow::Never : Follow::AtTheTop);
    if (handle.isOpen()) {
        TreeWalk(events).empty(folder, system, std::move(handle));
    }
    if (!goes) {
        events.leftFolder(folder, FolderLeft::Kept);
        return;
    }
    const std::wstring path = withoutSeparator(system);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    // A link in the folder's place is left alone, as the walk did not go through it.
    const bool removed = attributes != INVALID_FILE_ATTRIBUTES && !isLink(attributes) && removeFolderEntry(path);
    events.leftFolder(folder, removed ? FolderLeft::Removed : FolderLeft::Stays);
}

} // namespace platform

#endif
