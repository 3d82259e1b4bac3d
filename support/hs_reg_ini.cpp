// The INI store: the whole SOLVEMAR.INI in memory, sections and keys found without regard to case
// through hash maps, written back in the order things were added.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "Felles.h"
#include "hs_reg.h"
#include "platform.h"

namespace hs_reg {

namespace {

constexpr std::size_t kSectionMax = 63;
constexpr const char* kDefaultSection = "STANDARD";

struct Entry {
    std::string key;
    std::string value;
    // A line without "=" inside a section: no key, so it answers no look-up, but it is kept so a
    // write-back does not lose it.
    bool bare = false;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> index;
    // Byte ranges of the loaded text not yet turned into entries: a section is parsed when it is
    // first used, so loading a big file costs little more than reading it.
    std::vector<std::pair<std::size_t, std::size_t>> unparsed;
};

// How the file was saved, as the editors of Windows save one: the program's own texts (the ANSI code page
// there), UTF-8 with or without a byte-order mark, or UTF-16 with one. The save writes it back the same way.
enum class Encoding { Plain, Utf8, Utf8Marked, Utf16LittleEndian, Utf16BigEndian };

struct Store {
    std::vector<Section> sections;
    std::unordered_map<std::string, std::size_t> index;
    // The file's content in the program's own texts.
    std::string text;
    Encoding encoding = Encoding::Plain;
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

Store g_store;
std::string g_iniFileName = "SOLVEMAR.INI";
std::string g_iniFolder;
std::string g_currentSection = kDefaultSection;
// Set when the store must never be written over the file: writing it back would lose what could not be read.
IniUnwritable g_unwritable = IniUnwritable::No;

constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);
// Where currentsection stands in the store, found once per section change: look-ups in a loop
// over one section then cost one hash look-up each.
std::size_t g_currentIndex = kNoSection;

// The lower-case form of a name for a look-up, in one reused buffer: no allocation per look-up.
const std::string& lookupKey(std::string_view text) {
    static std::string buffer;
    buffer.assign(text);
    for (char& c : buffer) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return buffer;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

void addEntry(Section& section, Entry entry) {
    // A repeated key keeps its first value for reading; both lines are written back.
    if (!entry.bare) {
        section.index.try_emplace(lower(entry.key), section.entries.size());
    }
    section.entries.push_back(std::move(entry));
}

// Calls f(line, begin, next) for each line of text from offset from on: the line without its end,
// where it begins and where the line after it begins. LF, CR LF and a lone CR each end a line, in
// any mix, since files come from editors of every platform.
template <typename F> void forEachLine(std::string_view text, std::size_t from, F&& f) {
    const std::size_t size = text.size();
    const auto find = [&](char c, std::size_t at) {
        const void* found = std::memchr(text.data() + at, c, size - at);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : size;
    };
    // Each kind of line end is searched for again only once the walk has passed the last one found,
    // so a file without any CR (or LF) is not searched to its end for every line.
    std::size_t cr = from < size ? find('\r', from) : size;
    std::size_t lf = from < size ? find('\n', from) : size;
    std::size_t start = from;
    while (start < size) {
        if (cr < start) {
            cr = find('\r', start);
        }
        if (lf < start) {
            lf = find('\n', start);
        }
        const std::size_t end = std::min(cr, lf);
        std::size_t next = end == size ? size : end + 1;
        if (end == cr && lf == cr + 1 && lf < size) {
            ++next;
        }
        f(text.substr(start, end - start), start, next);
        start = next;
    }
}

void parseSection(Section& section) {
    for (const auto& [begin, end] : section.unparsed) {
        forEachLine(std::string_view(g_store.text).substr(begin, end - begin), 0,
                    [&](std::string_view line, std::size_t, std::size_t) {
                        const std::string_view text = trim(line);
                        if (text.empty() || text[0] == ';') {
                            return;
                        }
                        const auto equals = text.find('=');
                        if (equals == std::string_view::npos) {
                            addEntry(section, Entry{std::string(text), {}, true});
                        } else {
                            addEntry(section, Entry{std::string(trim(text.substr(0, equals))),
                                                    std::string(trim(text.substr(equals + 1))), false});
                        }
                    });
    }
    section.unparsed.clear();
}

Section& ensureSectionUnparsed(std::string_view name) {
    const auto [it, added] = g_store.index.try_emplace(lower(name), g_store.sections.size());
    if (added) {
        g_store.sections.push_back(Section{std::string(name), {}, {}, {}});
    }
    return g_store.sections[it->second];
}

Section& ensureSection(std::string_view name) {
    Section& section = ensureSectionUnparsed(name);
    if (!section.unparsed.empty()) {
        parseSection(section);
    }
    return section;
}

Section* currentSection() {
    if (g_currentIndex == kNoSection) {
        const auto it = g_store.index.find(lookupKey(g_currentSection));
        if (it == g_store.index.end()) {
            return nullptr;
        }
        g_currentIndex = it->second;
    }
    Section& section = g_store.sections[g_currentIndex];
    if (!section.unparsed.empty()) {
        parseSection(section);
    }
    return &section;
}

const std::string* findValue(std::string_view key) {
    const Section* section = currentSection();
    if (section == nullptr) {
        return nullptr;
    }
    const auto it = section->index.find(lookupKey(key));
    return it == section->index.end() ? nullptr : &section->entries[it->second].value;
}

// Decimal, or hexadecimal after "$" or "0x"; the whole text must be the number.
std::optional<std::int32_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text[0] == '+' || text[0] == '-') {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal fills all 32 bits, so $FFFFFFFF is -1.
        if (magnitude > 0xFFFFFFFFull) {
            return std::nullopt;
        }
        const auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(bits)) : bits;
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull)) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

#ifdef _WIN32
// UTF-8 that holds more than ASCII: a file saved as UTF-8 without a mark. Text in a single-byte code page
// with letters beyond ASCII is practically never valid UTF-8.
bool isUtf8BeyondAscii(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
           felles::IsValidUtf8(text);
}
#endif

std::u16string utf16Of(std::string_view bytes, Encoding encoding) {
    std::u16string units(bytes.size() / 2, u'\0');
    const std::size_t high = encoding == Encoding::Utf16BigEndian ? 0 : 1;
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i + high]) << 8 |
                                         static_cast<unsigned char>(bytes[2 * i + 1 - high]));
    }
    return units;
}

// The file's bytes as the program's texts, and how they were saved. False when they cannot be understood
// (UTF-16 without its mark, say, or a character the program's texts cannot hold): text then holds what could
// be read.
bool decodeFile(std::string bytes, std::string& text, Encoding& encoding) {
    text.clear();
    bool understood = true;
    const std::string_view view(bytes);
    if (view.starts_with(kUtf8Mark)) {
        encoding = Encoding::Utf8Marked;
        understood = platform::textFromUtf8(view.substr(kUtf8Mark.size()), text);
    } else if (view.starts_with(kUtf16LittleEndianMark) || view.starts_with(kUtf16BigEndianMark)) {
        encoding = view.starts_with(kUtf16LittleEndianMark) ? Encoding::Utf16LittleEndian : Encoding::Utf16BigEndian;
        const std::string_view units = view.substr(2);
        understood = units.size() % 2 == 0 && platform::textFromUtf16(utf16Of(units, encoding), text);
#ifdef _WIN32
    } else if (isUtf8BeyondAscii(view)) {
        // Elsewhere the program's texts are UTF-8 themselves: such a file needs no look of its own there.
        encoding = Encoding::Utf8;
        understood = platform::textFromUtf8(view, text);
#endif
    } else {
        encoding = Encoding::Plain;
        text = std::move(bytes);
    }
    // A NUL has no place in a text file: UTF-16 or UTF-32 without a mark, or no text at all.
    return understood && text.find('\0') == std::string::npos;
}

// The program's texts as the file was saved; nothing when a character cannot be written so.
std::optional<std::string> encodeFile(std::string text, Encoding encoding) {
    std::string bytes;
    switch (encoding) {
    case Encoding::Plain:
        return text;
    case Encoding::Utf8:
    case Encoding::Utf8Marked: {
        std::string utf8;
        if (!platform::utf8FromText(text, utf8)) {
            return std::nullopt;
        }
        if (encoding == Encoding::Utf8Marked) {
            bytes.append(kUtf8Mark);
        }
        bytes.append(utf8);
        return bytes;
    }
    case Encoding::Utf16LittleEndian:
    case Encoding::Utf16BigEndian: {
        std::u16string units;
        if (!platform::utf16FromText(text, units)) {
            return std::nullopt;
        }
        const bool big = encoding == Encoding::Utf16BigEndian;
        bytes.append(big ? kUtf16BigEndianMark : kUtf16LittleEndianMark);
        for (const char16_t unit : units) {
            const char high = static_cast<char>(unit >> 8);
            const char low = static_cast<char>(unit & 0xFF);
            bytes += big ? high : low;
            bytes += big ? low : high;
        }
        return bytes;
    }
    }
    return std::nullopt;
}

std::string serialise() {
    std::string out;
    out.reserve(g_store.text.size() + 64);
    for (Section& section : g_store.sections) {
        parseSection(section);
        out += '[';
        out += section.name;
        out += "]\r\n";
        for (const Entry& entry : section.entries) {
            out += entry.key;
            if (!entry.bare) {
                out += '=';
                out += entry.value;
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

// Without a temporary file the new content can only overwrite the old where it lies. The old content
// is read first and room for the new is reserved before anything is overwritten; a write cut short
// (full disk, size limit) puts the old content back, so the file is never left half-written.
bool writeInPlace(const std::string& name, std::string_view data) {
    platform::FileHandle file;
    std::string old;
    if (platform::openFile(name, platform::Access::ReadWrite, platform::Create::IfMissing, file) != 0 ||
        platform::readAll(file, old) != 0) {
        return false;
    }
    const auto size = static_cast<std::int64_t>(data.size());
    bool ok = data.size() <= old.size() || platform::reserveSize(file, size) == 0;
    ok = ok && platform::writeAllAt(file, 0, data) == 0 && platform::setFileSize(file, size) == 0 &&
         platform::syncFile(file) == 0;
    if (!ok) {
        if (platform::writeAllAt(file, 0, old) == 0) {
            platform::setFileSize(file, static_cast<std::int64_t>(old.size()));
        }
        platform::syncFile(file);
    }
    ok = file.close() == 0 && ok;
    return ok;
}

// The name of a save's temporary file: "." + the file's name + ".tmp" + the saving process's id.
std::string temporaryPrefix(const std::string& target) {
    std::string prefix = ".";
    prefix += platform::namePart(target);
    prefix += ".tmp";
    return prefix;
}

// A save killed between making its temporary file and the rename leaves that file behind. Removes
// such leftovers beside target: regular files of this user, named exactly like a save's temporary
// file, whose process no longer runs. Nothing else is touched.
void removeLeftoverTemporaries(const std::string& folder, const std::string& target) {
    const std::string prefix = temporaryPrefix(target);
    std::vector<std::string> names;
    if (platform::listFolder(folder.empty() ? "." : folder, names) != 0) {
        return;
    }
    const long self = platform::processId();
    for (const std::string& name : names) {
        const std::string_view digits = std::string_view(name).substr(std::min(prefix.size(), name.size()));
        if (!name.starts_with(prefix) || digits.empty() || digits.size() > 18 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos) {
            continue;
        }
        long pid = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), pid);
        if (pid != self && platform::isOwnFile(folder + name) && !platform::processRuns(pid)) {
            platform::removeFile(folder + name);
        }
    }
}

// The new content goes to a temporary file beside the old one, reaches the disk, and then takes
// the old file's place in one rename: a crash or a full disk never leaves a half-written file.
bool writeReplacing(const std::string& name, std::string_view data) {
    // Through symbolic links to their final target, so a link stays a link.
    const std::string target = platform::finalTarget(name);
    const std::string folder = platform::folderPart(target);
    const std::string temporary = folder + temporaryPrefix(target) + std::to_string(platform::processId());
    removeLeftoverTemporaries(folder, target);

    platform::removeFile(temporary);
    platform::FileHandle file;
    if (platform::openFile(temporary, platform::Access::Write, platform::Create::OnlyNew, file) != 0) {
        // A folder where no new file can be made (but the file itself may be writable).
        return writeInPlace(target, data);
    }
    platform::copyOwnerAndMode(target, file);
    bool ok = platform::writeAll(file, data) == 0 && platform::syncFile(file) == 0;
    ok = file.close() == 0 && ok;
    if (ok && platform::renameReplacing(temporary, target) == 0) {
        // The rename itself reaches the disk with the folder's entry.
        platform::syncFolder(folder.empty() ? "." : folder);
        return true;
    }
    platform::removeFile(temporary);
    return false;
}

} // namespace

const std::string& IniFileName() {
    return g_iniFileName;
}
const std::string& IniFolder() {
    return g_iniFolder;
}
const std::string& currentsection() {
    return g_currentSection;
}

void setIniFileName(const std::string& name) {
    g_iniFileName = name;
    g_iniFolder = platform::folderPart(name);
}

void setsection(std::string_view name) {
    if (name.size() <= kSectionMax) {
        if (name == g_currentSection) {
            return;
        }
        g_currentSection.assign(name);
    } else {
        g_currentSection = felles::CutText(name, kSectionMax);
    }
    g_currentIndex = kNoSection;
}
void resetsection() {
    setsection(kDefaultSection);
}

std::string readstr(std::string_view key) {
    const std::string* value = findValue(key);
    return value == nullptr ? std::string() : felles::CutText(*value, felles::kShortTextMax);
}

void writestr(std::string_view key, std::string_view value) {
    const std::string cutKey = felles::CutText(key, felles::kShortTextMax);
    const std::string cutValue = felles::CutText(value, felles::kShortTextMax);
    Section& section = ensureSection(g_currentSection);
    const auto it = section.index.find(lookupKey(cutKey));
    if (it != section.index.end()) {
        Entry& entry = section.entries[it->second];
        entry.value = cutValue;
        return;
    }
    addEntry(section, Entry{cutKey, cutValue, false});
}

bool readbool(std::string_view key) {
    return readint(key) != 0;
}
void writebool(std::string_view key, bool value) {
    writestr(key, value ? "1" : "0");
}

std::int32_t readint(std::string_view key) {
    return readnumber(key).value_or(0);
}

std::optional<std::int32_t> readnumber(std::string_view key) {
    const std::string* value = findValue(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return parseInteger(trim(*value));
}

void writeint(std::string_view key, std::int32_t value) {
    writestr(key, std::to_string(value));
}

IniUnwritable iniUnwritable() {
    if (g_unwritable == IniUnwritable::No && platform::isReadOnly(g_iniFileName)) {
        return IniUnwritable::ReadOnly;
    }
    return g_unwritable;
}

bool saveIniFile() {
    if (g_iniFileName.empty() || iniUnwritable() != IniUnwritable::No) {
        return true;
    }
    const std::optional<std::string> encoded = encodeFile(serialise(), g_store.encoding);
    if (!encoded) {
        return false;
    }
    const std::string& content = *encoded;
    // Every folder look-up saves: when the file already holds exactly this, leave it be. Anything
    // but a regular file that took the name since the load (a FIFO, say) is left alone as well.
    std::string old;
    switch (platform::readRegularFile(g_iniFileName, old)) {
    case platform::FileRead::Read:
        if (old == content) {
            return true;
        }
        break;
    case platform::FileRead::Unreadable:
        if (!platform::isRegularFile(g_iniFileName)) {
            return true;
        }
        break;
    case platform::FileRead::Missing:
        break;
    }
    return writeReplacing(g_iniFileName, content);
}

void saveini() {
    saveIniFile();
}

void loadini() {
    g_store = Store{};
    g_currentIndex = kNoSection;
    std::string content;
    const platform::FileRead read = platform::readRegularFile(g_iniFileName, content);
    if (read == platform::FileRead::Read) {
        loadIniText(std::move(content));
        return;
    }
    // A FIFO, device or socket under the INI file's name counts as a file that cannot be read.
    g_unwritable = read == platform::FileRead::Unreadable ? IniUnwritable::Unreadable : IniUnwritable::No;
}

void loadIniText(std::string bytes) {
    g_store = Store{};
    g_currentIndex = kNoSection;
    // A byte-order mark at the very start belongs to the file, not to its first line; anywhere else it is data.
    g_unwritable =
        decodeFile(std::move(bytes), g_store.text, g_store.encoding) ? IniUnwritable::No : IniUnwritable::NotUnderstood;
    // Only the section lines are looked at now; lines before the first section are dropped.
    Section* section = nullptr;
    std::size_t rangeStart = 0;
    forEachLine(g_store.text, 0, [&](std::string_view line, std::size_t begin, std::size_t next) {
        const std::string_view text = trim(line);
        if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
            return;
        }
        if (section != nullptr) {
            section->unparsed.emplace_back(rangeStart, begin);
        }
        section = &ensureSectionUnparsed(trim(text.substr(1, text.size() - 2)));
        rangeStart = next;
    });
    if (section != nullptr) {
        section->unparsed.emplace_back(rangeStart, g_store.text.size());
    }
}

std::string iniText() {
    return encodeFile(serialise(), g_store.encoding).value_or(std::string());
}

void freeini() {
    g_store = Store{};
    g_currentIndex = kNoSection;
    g_unwritable = IniUnwritable::No;
}

void resetIni() {
    freeini();
    g_iniFileName = "SOLVEMAR.INI";
    g_iniFolder.clear();
    g_currentSection = kDefaultSection;
}

} // namespace hs_reg
