#include "core/ini_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "core/file_fault.h"
#include "core/gbk.h"
#include "core/text.h"

namespace qv {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// ---------------------------------------------------------------------------------------
// The file as lines. Every line is kept byte for byte (a CR of a CRLF ending stays part of
// its line), so lines we do not understand are written back unchanged. Splitting at '\n'
// and joining with '\n' gives back the exact bytes; a file that ends in a newline has an
// empty last line.

struct IniText {
    bool utf8 = false;  // the file starts with a UTF-8 byte order mark: its text is UTF-8
    std::vector<std::string> lines;
};

IniText Parse(std::string_view bytes) {
    IniText text;
    if (bytes.starts_with(kUtf8Bom)) {
        text.utf8 = true;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    size_t start = 0;
    for (size_t nl; (nl = bytes.find('\n', start)) != std::string_view::npos; start = nl + 1)
        text.lines.emplace_back(bytes.substr(start, nl - start));
    text.lines.emplace_back(bytes.substr(start));
    return text;
}

std::string Serialize(const IniText& text) {
    std::string out = text.utf8 ? std::string(kUtf8Bom) : std::string();
    for (size_t i = 0; i < text.lines.size(); ++i) {
        if (i > 0) out += '\n';
        out += text.lines[i];
    }
    return out;
}

// Bytes of the character at `i`. In GBK a lead byte 0x81..0xFE takes the next byte with
// it, and that trail byte may look like ASCII ('A', '[', ']'), so names and brackets are
// only looked for at character starts. UTF-8 never reuses ASCII bytes inside characters.
size_t CharLen(std::string_view s, size_t i, bool utf8) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    return (!utf8 && c >= 0x81 && c <= 0xFE && i + 1 < s.size()) ? 2 : 1;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Section and key names compare without regard to ASCII case, as the Windows profile
// functions do; other characters must match exactly.
bool SameName(std::string_view a, std::string_view b, bool utf8) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size();) {
        size_t n = CharLen(a, i, utf8);
        if (n == 1 ? AsciiLower(a[i]) != AsciiLower(b[i]) : a.substr(i, n) != b.substr(i, n))
            return false;
        i += n;
    }
    return true;
}

// "[Name]" (blanks allowed around and inside the brackets) gives Name.
std::optional<std::string> SectionName(std::string_view line, bool utf8) {
    std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return std::nullopt;
    for (size_t i = 1; i < t.size(); i += CharLen(t, i, utf8))
        if (t[i] == ']') return Trim(std::string_view(t).substr(1, i - 1));
    return std::nullopt;
}

// '=' (0x3D) is never a GBK trail byte, so a plain search finds it.
struct KeyLine {
    std::string key;
    std::string value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return KeyLine{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

// Index of the line holding `key` in a section named `section`; the first one wins when a
// file repeats a section or a key.
std::optional<size_t> FindKey(const IniText& text, std::string_view section,
                              std::string_view key) {
    bool inside = false;
    for (size_t i = 0; i < text.lines.size(); ++i) {
        const std::string& line = text.lines[i];
        if (auto name = SectionName(line, text.utf8)) {
            inside = SameName(*name, section, text.utf8);
        } else if (inside) {
            auto kv = ParseKeyLine(line);
            if (kv && SameName(kv->key, key, text.utf8)) return i;
        }
    }
    return std::nullopt;
}

std::optional<size_t> FindSection(const IniText& text, std::string_view section) {
    for (size_t i = 0; i < text.lines.size(); ++i) {
        auto name = SectionName(text.lines[i], text.utf8);
        if (name && SameName(*name, section, text.utf8)) return i;
    }
    return std::nullopt;
}

// Where a new key of the section starting at `header` goes: after its last non-blank
// line, so blank lines before the next section stay where they are.
size_t EndOfSection(const IniText& text, size_t header) {
    size_t last = header;
    for (size_t i = header + 1; i < text.lines.size(); ++i) {
        if (SectionName(text.lines[i], text.utf8)) break;
        if (!Trim(text.lines[i]).empty()) last = i;
    }
    return last + 1;
}

// New lines follow the file's own line ending: CRLF when most of its lines use it.
std::string Eol(const IniText& text) {
    size_t crlf = 0;
    for (size_t i = 0; i + 1 < text.lines.size(); ++i) crlf += text.lines[i].ends_with('\r');
    return 2 * crlf > text.lines.size() - 1 ? "\r" : "";
}

void InsertLines(IniText& text, size_t pos, std::vector<std::string> added) {
    for (std::string& line : added) line += Eol(text);
    // At the very end of a file without a final newline: give the new lines one.
    if (pos == text.lines.size()) added.emplace_back();
    text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(pos), added.begin(),
                      added.end());
}

// On disk the names and values are GBK unless the file marks itself as UTF-8.
std::string ToFile(const IniText& text, const std::string& utf8) {
    return text.utf8 ? utf8 : Utf8ToGbk(utf8);
}
std::string FromFile(const IniText& text, const std::string& bytes) {
    return text.utf8 ? bytes : GbkToUtf8(bytes);
}

// A line break inside a value would split it into lines of its own.
std::string SingleLine(std::string value) {
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    return value;
}

void SetValue(IniText& text, const std::string& section_utf8, const std::string& key_utf8,
              const std::string& value_utf8) {
    std::string section = ToFile(text, Trim(section_utf8));
    std::string key = ToFile(text, Trim(key_utf8));
    std::string value = ToFile(text, SingleLine(value_utf8));
    if (auto at = FindKey(text, section, key)) {
        std::string& line = text.lines[*at];
        std::string eol = line.ends_with('\r') ? "\r" : "";
        // The stored spelling of the key is kept.
        line = ParseKeyLine(line)->key + "=" + value + eol;
    } else if (auto header = FindSection(text, section)) {
        InsertLines(text, EndOfSection(text, *header), {key + "=" + value});
    } else {
        bool ends_in_newline = text.lines.back().empty();
        size_t pos = ends_in_newline ? text.lines.size() - 1 : text.lines.size();
        InsertLines(text, pos, {"[" + section + "]", key + "=" + value});
    }
}

// Value as stored, or nothing when the key is missing.
std::optional<std::string> GetValue(const IniText& text, const std::string& section_utf8,
                                    const std::string& key_utf8) {
    auto at = FindKey(text, ToFile(text, Trim(section_utf8)), ToFile(text, Trim(key_utf8)));
    if (!at) return std::nullopt;
    return FromFile(text, ParseKeyLine(text.lines[*at])->value);
}

// Integer text, as Delphi's StrToIntDef reads it: blanks, an optional sign, then decimal
// digits, or hex digits after "$", "x" or "0x". Anything else, trailing text included,
// does not parse. Any length of digits is accepted: only zero or non-zero matters here.
std::optional<bool> ParseBool(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        i += 1;
    } else if (s.substr(i, 2) == "0x" || s.substr(i, 2) == "0X") {
        hex = true;
        i += 2;
    }
    if (i == s.size()) return std::nullopt;
    bool nonzero = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        bool digit = (c >= '0' && c <= '9') ||
                     (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        if (!digit) return std::nullopt;
        nonzero = nonzero || c != '0';
    }
    return nonzero;
}

// ---------------------------------------------------------------------------------------
// File access.

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Closes now and says whether the close succeeded (a late write error shows here).
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

enum class FileState { Read, Missing, Unreadable };

struct FileContent {
    FileState state = FileState::Missing;
    std::string bytes;
    mode_t mode = 0;
    std::string fault;  // why an Unreadable file could not be read, in words
};

FileContent ReadWholeFile(const std::string& path) {
    FileContent content;
    // O_NONBLOCK: opening a FIFO (or a device) must not wait for a writer before the
    // check below turns it away; on a regular file the flag changes nothing.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.ok()) {
        content.state = errno == ENOENT ? FileState::Missing : FileState::Unreadable;
        content.fault = FileFaultText(errno);
        return content;
    }
    struct stat st {};
    content.state = FileState::Unreadable;
    content.fault = "不是普通文件";
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return content;
    content.mode = st.st_mode & 07777;
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            content.fault = FileFaultText(errno);
            return content;
        }
        if (n == 0) break;
        content.bytes.append(buf, static_cast<size_t>(n));
    }
    content.state = FileState::Read;
    return content;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void SyncDirectory(const std::filesystem::path& dir) {
    Fd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.ok()) ::fsync(fd.get());  // durability only; the rename already happened
}

// Replaces `target` by a file holding `bytes`: written beside it, flushed to disk, then
// renamed over it, so a reader sees the old file or the new one and never a part.
// On failure errno tells why.
bool ReplaceFile(const std::filesystem::path& target, std::string_view bytes, mode_t mode) {
    // Writers are serialised, so one name per process cannot collide.
    std::string tmp = target.string() + ".tmp" + std::to_string(::getpid());
    ::unlink(tmp.c_str());  // left over by a process that died
    Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.ok()) return false;
    bool ok = ::fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), bytes) &&
              ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(tmp.c_str());
        errno = error;
        return false;
    }
    SyncDirectory(target.parent_path());
    return true;
}

// Writing through a symbolic link changes the file it points to, not the link; the link
// may point to a file that does not exist yet.
std::filesystem::path WriteTarget(const std::string& file) {
    std::filesystem::path path = file;
    std::error_code ec;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(path, ec); ++hops) {
        std::filesystem::path next = std::filesystem::read_symlink(path, ec);
        if (ec) break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Threads of this process take the mutex; other processes are kept out by an flock on a
// lock file beside the settings file (not on the file itself, whose inode each write
// replaces).
std::mutex& WriteMutex() {
    static std::mutex m;
    return m;
}

bool LockExclusive(const Fd& fd) {
    while (::flock(fd.get(), LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

// Settings may hold a proxy's password and say whom the user collects for: the file is
// the owner's alone, whatever mode an older version or an editor left it with.
constexpr mode_t kSettingsFileMode = S_IRUSR | S_IWUSR;

template <typename Change>
void Rewrite(const std::string& file, Change change) {
    auto fail = [&](const std::string& why) { throw std::runtime_error("无法写入设置文件 " + file + "：" + why); };
    std::filesystem::path target = WriteTarget(file);
    std::lock_guard guard(WriteMutex());
    Fd lock(::open((target.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kSettingsFileMode));
    if (!lock.ok() || !LockExclusive(lock)) fail(FileFaultText(errno));
    FileContent current = ReadWholeFile(target.string());
    // A file that is there but cannot be read is not replaced: its other settings would
    // be lost.
    if (current.state == FileState::Unreadable) fail(current.fault);
    IniText text = Parse(current.bytes);
    change(text);
    if (!ReplaceFile(target, Serialize(text), kSettingsFileMode)) fail(FileFaultText(errno));
}

}  // namespace

std::string TIniFileEx::ReadString(const std::string& file, const std::string& section,
                                   const std::string& key, const std::string& default_value) {
    FileContent content = ReadWholeFile(file);
    if (content.state != FileState::Read) return default_value;
    return GetValue(Parse(content.bytes), section, key).value_or(default_value);
}

bool TIniFileEx::ReadBool(const std::string& file, const std::string& section,
                          const std::string& key, bool default_value) {
    FileContent content = ReadWholeFile(file);
    if (content.state != FileState::Read) return default_value;
    auto value = GetValue(Parse(content.bytes), section, key);
    if (!value) return default_value;
    return ParseBool(*value).value_or(default_value);
}

void TIniFileEx::WriteString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value) {
    Rewrite(file, [&](IniText& text) { SetValue(text, section, key, value); });
}

void TIniFileEx::WriteBool(const std::string& file, const std::string& section,
                           const std::string& key, bool value) {
    WriteString(file, section, key, value ? "1" : "0");
}

bool ReadSetting(const std::string& file, const BoolSetting& setting) {
    return TIniFileEx::ReadBool(file, setting.section, setting.key, setting.default_value);
}

void WriteSetting(const std::string& file, const BoolSetting& setting, bool value) {
    TIniFileEx::WriteBool(file, setting.section, setting.key, value);
}

int ReadSetting(const std::string& file, const IntSetting& setting) {
    const std::string text = TIniFileEx::ReadString(file, setting.section, setting.key, "");
    try {
        size_t used = 0;
        const long long value = std::stoll(text, &used, 10);
        if (used == text.size() && value >= setting.min_value && value <= setting.max_value)
            return static_cast<int>(value);
    } catch (const std::exception&) {
    }
    return setting.default_value;
}

void WriteSetting(const std::string& file, const IntSetting& setting, int value) {
    TIniFileEx::WriteString(file, setting.section, setting.key, std::to_string(value));
}

std::string ReadSetting(const std::string& file, const TextSetting& setting) {
    return TIniFileEx::ReadString(file, setting.section, setting.key, setting.default_value);
}

void WriteSetting(const std::string& file, const TextSetting& setting, const std::string& value) {
    TIniFileEx::WriteString(file, setting.section, setting.key, value);
}

}  // namespace qv
