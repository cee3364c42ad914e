#include "export/xlsx_writer.h"

#include <xlsxwriter.h>
#include <zlib.h>

#include <sys/resource.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "export/file_error.h"
#include "export/temp_output.h"

namespace qv::exporting {
namespace {

constexpr std::int64_t kProgressRows = 256;

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the UTF-8 sequence at `s[i]` and its code point; 0 when it is not valid.
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b = byte(i);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Readers take "_x000D_" in a cell's text for the character it names; such a text is kept
// by escaping its underscore as "_x005F".
bool IsEscapeLike(std::string_view s, size_t i) {
    if (s.size() - i < 7 || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') return false;
    return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(i + 2),
                       s.begin() + static_cast<std::ptrdiff_t>(i + 6),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// True when the text is valid UTF-8 of XML characters only, short enough and free of
// escape-like runs: the common case, which needs no rewriting. Cheaper than decoding.
bool IsSheetReady(std::string_view s) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++chars) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            if (b < 0x20 && b != 0x9 && b != 0xA && b != 0xD) return false;
            if (b == '_' && IsEscapeLike(s, i)) return false;
            ++i;
            continue;
        }
        char32_t cp = 0;
        size_t n = DecodeUtf8(s, i, cp);
        if (n == 0 || !IsXmlChar(cp)) return false;
        i += n;
    }
    return chars <= kXlsxMaxCellChars;
}

struct WorkbookFree {
    void operator()(lxw_workbook* wb) const { lxw_workbook_free(wb); }
};

// The library's own temporary files lose writes without a word; the cause is told from
// what limits writing here: a file size limit, or a disk (ours or the temporary folder's)
// that is all but full.
int LikelyCauseOfLostWrites(const std::string& target) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return EFBIG;
    constexpr unsigned long long kAlmostFull = 64ull << 20;
    std::string folder = std::filesystem::path(target).parent_path().string();
    for (const std::string& place : {folder.empty() ? std::string(".") : folder, std::string(P_tmpdir)}) {
        struct statvfs fs {};
        if (::statvfs(place.c_str(), &fs) == 0 &&
            static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < kAlmostFull)
            return ENOSPC;
    }
    return EIO;
}

// The library prints its own errors on stderr, in English, beside the message of ours that
// says the same. While it may, stderr is taken into memory, and what it printed becomes
// the detail of our message.
class LibraryMessages {
public:
    LibraryMessages() : lock_(Mutex()) {
        capture_ = ::open_memstream(&text_, &size_);
        if (capture_) saved_ = std::exchange(stderr, capture_);
    }
    ~LibraryMessages() {
        if (capture_) {
            stderr = saved_;
            std::fclose(capture_);
        }
        std::free(text_);
    }
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // "（libxlsxwriter：...）" without the library's source positions; empty when it
    // printed nothing.
    std::string Detail() {
        if (!capture_ || std::fflush(capture_) != 0 || size_ == 0) return {};
        std::string lines(text_, size_);
        std::string detail;
        for (size_t at = 0; at < lines.size();) {
            size_t end = lines.find('\n', at);
            if (end == std::string::npos) end = lines.size();
            std::string_view line(lines.data() + at, end - at);
            if (size_t mark = line.find("]: "); line.rfind("[", 0) == 0 && mark != std::string_view::npos)
                line.remove_prefix(mark + 3);
            if (!line.empty()) detail += (detail.empty() ? "" : " ") + std::string(line);
            at = end + 1;
        }
        return detail.empty() ? detail : "（libxlsxwriter：" + detail + "）";
    }

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    std::lock_guard<std::mutex> lock_;
    char* text_ = nullptr;
    size_t size_ = 0;
    std::FILE* capture_ = nullptr;
    std::FILE* saved_ = nullptr;
};

void Check(lxw_error err, std::string_view what) {
    if (err != LXW_NO_ERROR) throw ExportError(std::string(what) + "：" + lxw_strerror(err));
}

// The library does not notice when its own temporary sheet file fails to take a write (a
// full disk): it then packs a sheet that lacks its last rows and reports success. So the
// finished file is read back: the sheet must inflate to its recorded size and checksum
// and end with the last row written. Returns false when it does not.
class SheetCheck {
public:
    explicit SheetCheck(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~SheetCheck() {
        if (file_) std::fclose(file_);
    }
    SheetCheck(const SheetCheck&) = delete;
    SheetCheck& operator=(const SheetCheck&) = delete;

    bool EndsWithRow(long last_row) {
        if (!file_ || !FindSheet()) return false;
        return Inflate() && last_row_ == last_row &&
               carry_.find("</sheetData>") != std::string::npos;
    }

private:
    static std::uint32_t U16(const unsigned char* p) { return p[0] | p[1] << 8; }
    static std::uint32_t U32(const unsigned char* p) { return U16(p) | U16(p + 2) << 16; }

    bool ReadAt(long offset, unsigned char* into, size_t size) {
        return std::fseek(file_, offset, SEEK_SET) == 0 && std::fread(into, 1, size, file_) == size;
    }

    bool FindSheet() {
        // The library writes no archive comment: the end record is the last 22 bytes.
        unsigned char end[22];
        if (std::fseek(file_, -22, SEEK_END) != 0 || std::fread(end, 1, 22, file_) != 22 ||
            U32(end) != 0x06054b50)
            return false;
        std::vector<unsigned char> dir(U32(end + 12));
        if (!ReadAt(static_cast<long>(U32(end + 16)), dir.data(), dir.size())) return false;
        const std::string name = "xl/worksheets/sheet1.xml";
        for (size_t at = 0; at + 46 <= dir.size();) {
            const unsigned char* e = dir.data() + at;
            if (U32(e) != 0x02014b50) return false;
            size_t name_len = U16(e + 28);
            std::string entry(reinterpret_cast<const char*>(e + 46),
                              std::min(name_len, dir.size() - at - 46));
            if (entry == name && U16(e + 10) == 8) {
                crc_ = U32(e + 16);
                packed_ = U32(e + 20);
                size_ = U32(e + 24);
                unsigned char local[30];
                if (!ReadAt(static_cast<long>(U32(e + 42)), local, 30)) return false;
                data_ = static_cast<long>(U32(e + 42)) + 30 + U16(local + 26) + U16(local + 28);
                return true;
            }
            at += 46 + name_len + U16(e + 30) + U16(e + 32);
        }
        return false;
    }

    bool Inflate() {
        if (std::fseek(file_, data_, SEEK_SET) != 0) return false;
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
        std::vector<unsigned char> in(1 << 18), out(1 << 18);
        std::uint32_t left = packed_, crc = crc32(0, nullptr, 0), produced = 0;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            if (z.avail_in == 0) {
                size_t n = std::fread(in.data(), 1, std::min<size_t>(in.size(), left), file_);
                if (n == 0) break;
                left -= static_cast<std::uint32_t>(n);
                z.next_in = in.data();
                z.avail_in = static_cast<uInt>(n);
            }
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END) break;
            size_t got = out.size() - z.avail_out;
            crc = crc32(crc, out.data(), static_cast<uInt>(got));
            produced += static_cast<std::uint32_t>(got);
            Scan(reinterpret_cast<const char*>(out.data()), got);
        }
        inflateEnd(&z);
        return rc == Z_STREAM_END && crc == crc_ && produced == size_;
    }

    // Notes the number of every row tag, so the last one read is the sheet's last row. A
    // tag cut between two chunks is read whole with the next, from the carried end.
    void Scan(const char* data, size_t size) {
        static constexpr std::string_view kRowTag = "<row r=\"";
        std::string window = std::move(carry_);
        window.append(data, size);
        for (size_t at = window.find(kRowTag); at != std::string::npos;
             at = window.find(kRowTag, at + 1))
            last_row_ = std::strtol(window.c_str() + at + kRowTag.size(), nullptr, 10);
        // Enough for a cut tag, and for what follows the rows at the sheet's end.
        carry_ = window.substr(window.size() - std::min<size_t>(window.size(), 4096));
    }

    std::FILE* file_;
    std::uint32_t crc_ = 0, packed_ = 0, size_ = 0;
    long data_ = 0;
    long last_row_ = 0;
    std::string carry_;
};

}  // namespace

void CheckXlsxLimits(const StringGrid& grid) {
    if (grid.RowCount() > kXlsxMaxRows || grid.ColumnCount() > kXlsxMaxColumns)
        throw ExportError("表格有 " + std::to_string(grid.RowCount()) + " 行、" +
                          std::to_string(grid.ColumnCount()) +
                          " 列，超出 .xlsx 文件最多 1048576 行、16384 列的限制。");
}

std::string XlsxCellText(std::string_view utf8, bool* cut) {
    std::string out;
    out.reserve(utf8.size());
    size_t chars = 0;
    size_t i = 0;
    for (; i < utf8.size() && chars < kXlsxMaxCellChars;) {
        char32_t cp = 0;
        size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0) {
            out.append("\xEF\xBF\xBD");
            ++chars;
            ++i;
            continue;
        }
        if (IsEscapeLike(utf8, i)) {
            out.append("_x005F");
            chars += 6;
        }
        if (IsXmlChar(cp)) {
            out.append(utf8.substr(i, n));
            ++chars;
        }
        i += n;
    }
    if (cut) *cut = i < utf8.size();
    return out;
}

bool IsSheetNumber(std::string_view text) {
    if (text.empty() || text.size() > kXlsxMaxNumberDigits) return false;
    if (text.size() > 1 && text.front() == '0') return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::int64_t WriteXlsx(const StringGrid& grid, TempOutput& out, const ExportProgress& progress) {
    const std::string& path = out.path();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    std::unique_ptr<lxw_workbook, WorkbookFree> wb;
    lxw_worksheet* sheet = nullptr;
    lxw_format* bold = nullptr;
    {
        LibraryMessages quiet;
        wb.reset(workbook_new_opt(path.c_str(), &options));
        if (wb) sheet = workbook_add_worksheet(wb.get(), nullptr);
        if (wb) bold = workbook_add_format(wb.get());
        if (!sheet || !bold) {
            const int err = errno;
            throw ExportError(CreateFailureText(out.target(), err != 0 ? err : ENOMEM) +
                              quiet.Detail());
        }
    }
    format_set_bold(bold);

    const int rows = grid.RowCount();
    const int columns = grid.ColumnCount();
    for (int c = 0; c < columns; ++c) {
        auto col = static_cast<lxw_col_t>(c);
        int width = grid.ColumnWidth(c);
        if (width > 0) {
            Check(
                worksheet_set_column_pixels(sheet, col, col, static_cast<uint32_t>(width), nullptr),
                "设置列宽失败");
        } else {
            lxw_row_col_options hidden{};
            hidden.hidden = 1;
            Check(worksheet_set_column_opt(sheet, col, col, LXW_DEF_COL_WIDTH, nullptr, &hidden),
                  "设置列宽失败");
        }
    }
    if (rows > 1) worksheet_freeze_panes(sheet, 1, 0);

    // The record number and the TrustPass index are counted with; everything else is text,
    // whatever it holds (a bank account of digits is no number to sum).
    std::vector<bool> numeric(static_cast<size_t>(columns));
    for (int c = 0; c < columns && rows > 0; ++c) {
        std::string_view heading = grid.CellText(0, c);
        numeric[static_cast<size_t>(c)] = heading == "序号" || heading == "诚信通指数";
    }

    const std::int64_t total = std::int64_t{rows} * columns;
    const auto started = std::chrono::steady_clock::now();
    std::string text;
    std::int64_t cut_cells = 0;
    long last_row = 0;  // 1-based number of the last row holding a cell; empty cells make none
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            std::string_view cell = grid.CellText(r, c);
            const auto row = static_cast<lxw_row_t>(r);
            const auto col = static_cast<lxw_col_t>(c);
            if (r > 0 && numeric[static_cast<size_t>(c)] && IsSheetNumber(cell)) {
                last_row = r + 1;
                Check(worksheet_write_number(sheet, row, col, std::stod(std::string(cell)), nullptr),
                      "写入单元格失败");
                continue;
            }
            if (IsSheetReady(cell)) {
                text.assign(cell);
            } else {
                bool cut = false;
                text = XlsxCellText(cell, &cut);
                cut_cells += cut ? 1 : 0;
            }
            if (!text.empty() || r == 0) last_row = r + 1;
            // Strings, not formulas: whatever a cell holds is never run.
            Check(worksheet_write_string(sheet, row, col, text.c_str(), r == 0 ? bold : nullptr),
                  "写入单元格失败");
        }
        // Writing the rows is the first half of the work.
        if (r % kProgressRows == kProgressRows - 1 && progress &&
            !progress(std::int64_t{r + 1} * columns / 2, total))
            throw ExportCancelled();
    }
    // Packing the archive takes longer than writing the rows and reports nothing while it
    // runs, so it runs on a thread of its own while progress goes on being reported (and
    // the window repainted). It reads only the library's own files, not the grid.
    const auto rows_time = std::max<std::chrono::steady_clock::duration>(
        std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1));
    auto packing = std::async(std::launch::async, [workbook = wb.release(), &out, last_row] {
        std::string detail;
        int err = 0;
        lxw_error failed = LXW_NO_ERROR;
        {
            LibraryMessages quiet;
            errno = 0;
            // workbook_close writes the file and frees the workbook, whatever it returns.
            failed = workbook_close(workbook);
            err = errno;
            detail = quiet.Detail();
        }
        if (failed != LXW_NO_ERROR) {
            if (err != 0) return WriteFailureText(out.target(), err) + detail;
            return "写入文件 " + out.target() + " 失败：" + lxw_strerror(failed) + detail;
        }
        if (!SheetCheck(out.path()).EndsWithRow(last_row))
            return WriteFailureText(out.target(), LikelyCauseOfLostWrites(out.target())) +
                   "；写出的文件不完整。";
        return std::string();
    });
    bool cancelled = false;
    const auto packing_started = std::chrono::steady_clock::now();
    do {
        if (!progress) continue;
        // Packing takes about twice as long as the rows did: the bar creeps towards the end.
        // Packing cannot be stopped: a cancel takes effect when it is done, and progress
        // goes on being reported (the window drawn) until then.
        double part = std::min(
            0.95, (std::chrono::steady_clock::now() - packing_started) / (2.0 * rows_time));
        if (!progress(total / 2 + static_cast<std::int64_t>(part * static_cast<double>(total / 2)),
                      total))
            cancelled = true;
    } while (packing.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready);
    std::string failure = packing.get();
    if (cancelled) throw ExportCancelled();
    if (!failure.empty()) throw ExportError(failure);
    if (progress) progress(total, total);
    return cut_cells;
}

}  // namespace qv::exporting
